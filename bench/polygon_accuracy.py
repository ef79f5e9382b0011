#!/usr/bin/python3
"""The areas of polygon zones against shapely (GEOS) and pyproj's geodesic areas.

    polygon_accuracy.py MESACROP FOLDER BASINS.gpkg

FOLDER holds the bench's placed raw DEM (dem_m2.raw with .hdr and .prj) and
BASINS.gpkg its polygons: every zone's area_m2 against the polygon's own
area, and a polygon across the DEM's corner against its part inside. Then a
DEM in degrees and a polygon with a vertex every 2 km or less against its
area on the WGS 84 ellipsoid. Prints the largest relative differences.
"""
import csv
import io
import math
import os
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr, osr
from pyproj import Geod
from shapely import wkb
from shapely.geometry import Polygon, box

tool, folder, basins = sys.argv[1:4]


def table(*arguments):
    out = subprocess.run([tool, "-q", "--table", "-", *arguments], check=True, capture_output=True, text=True).stdout
    return {row["code"]: row for row in csv.DictReader(io.StringIO(out))}


# Projected: each basin lies inside the DEM, so the sum over cells of its
# intersection with each cell is its own area.
rows = table("--dem-unit", "dm", "--zone-field", "code", folder + "/dem_m2.raw", basins)
basins_source = ogr.Open(basins)
layer = basins_source.GetLayer(0)
worst = 0.0
for feature in layer:
    shape = wkb.loads(bytes(feature.GetGeometryRef().ExportToWkb()))
    row = rows[str(feature.GetField("code"))]
    worst = max(worst, abs(float(row["area_m2"]) - shape.area) / shape.area)
print("projected, %d basins: largest relative difference of area_m2 from shapely's area: %.2e" % (len(rows), worst))

header = dict(line.split() for line in open(folder + "/dem_m2.hdr") if len(line.split()) == 2)
cell = float(header["XDIM"])
lines = int(header["NROWS"])
left, top = float(header["ULXMAP"]) - cell / 2, float(header["ULYMAP"]) + cell / 2
extent = box(left, top - lines * cell, left + lines * cell, top)
work = tempfile.mkdtemp()
# A wavy polygon across the DEM's upper-left corner.
corner = Polygon([(left - 3000 + 4000 * (1 + 0.15 * math.sin(5 * a)) * math.cos(a),
                   top + 2000 + 4000 * (1 + 0.15 * math.sin(5 * a)) * math.sin(a))
                  for a in (2 * math.pi * k / 100 for k in range(100))])
assert corner.is_valid
source = ogr.GetDriverByName("GPKG").CreateDataSource(work + "/corner.gpkg")
out = source.CreateLayer("corner", layer.GetSpatialRef(), ogr.wkbPolygon)
feature = ogr.Feature(out.GetLayerDefn())
feature.SetGeometry(ogr.CreateGeometryFromWkb(corner.wkb))
out.CreateFeature(feature)
source = None
row = table("--dem-unit", "dm", folder + "/dem_m2.raw", work + "/corner.gpkg")["1"]
inside = corner.intersection(extent).area
print("projected, across the corner: area_m2 %.2e, area_m2 + area_outside_m2 %.2e off shapely's"
      % (abs(float(row["area_m2"]) - inside) / inside,
         abs(float(row["area_m2"]) + float(row["area_outside_m2"]) - corner.area) / corner.area))

# In degrees: a 3" DEM around 45 N and a wavy polygon of about 20 km, a
# vertex every 2 km at most.
dem = gdal.GetDriverByName("GTiff").Create(work + "/deg.tif", 1200, 1200, 1, gdal.GDT_Float32)
dem.SetGeoTransform((6.0, 1 / 1200, 0, 45.5, 0, -1 / 1200))
dem.SetProjection('GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],PRIMEM["Greenwich",0],'
                  'UNIT["degree",0.0174532925199433],AUTHORITY["EPSG","4326"]]')
dem.GetRasterBand(1).Fill(100.0)
dem = None
points = []
for k in range(40):
    t = 2 * math.pi * k / 40
    r = 0.09 * (1 + 0.15 * math.sin(3 * t))
    points.append((6.5 + r * math.cos(t) / math.cos(math.radians(45)), 45.0 + r * math.sin(t)))
shape = Polygon(points)
geod = Geod(ellps="WGS84")
longest = max(geod.inv(*points[k], *points[(k + 1) % len(points)])[2] for k in range(len(points)))
source = ogr.GetDriverByName("GPKG").CreateDataSource(work + "/deg.gpkg")
wgs84 = osr.SpatialReference()
wgs84.ImportFromEPSG(4326)
out = source.CreateLayer("deg", wgs84, ogr.wkbPolygon)
feature = ogr.Feature(out.GetLayerDefn())
feature.SetGeometry(ogr.CreateGeometryFromWkb(shape.wkb))
out.CreateFeature(feature)
source = None
row = table(work + "/deg.tif", work + "/deg.gpkg")["1"]
geodesic = abs(geod.geometry_area_perimeter(shape)[0])
print("degrees, a polygon of %.0f km2 (edges up to %.0f m): area_m2 %.2e off its geodesic area"
      % (geodesic / 1e6, longest, abs(float(row["area_m2"]) - geodesic) / geodesic))
for name in os.listdir(work):
    os.remove(os.path.join(work, name))
os.rmdir(work)
