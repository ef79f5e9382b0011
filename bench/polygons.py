#!/usr/bin/python3
"""Watershed-like polygons over the bench's raw DEM, made once from its zone mask.

    polygons.py FOLDER LINES PIECES_ACROSS PIECES_DOWN OUT.gpkg

FOLDER holds dem_m2.raw with its .hdr and .prj (they place it) and the
50-zone mask zones.raw, in blocks of 1400 x 1400 cells. Each block is cut
into PIECES_ACROSS x PIECES_DOWN polygons along wavy lines (a vertex every 5
cells), which tile it exactly: a piece is the block cut by the strip between
two wavy columns and the strip between two wavy rows. Each polygon has its
own code (field "code", 1, 2, ...) and the code of the block's zone ("zone").
"""
import math
import sys

from osgeo import ogr, osr

folder, lines, across, down, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
header = dict(line.split() for line in open(folder + "/dem_m2.hdr") if len(line.split()) == 2)
cell = float(header["XDIM"])
left = float(header["ULXMAP"]) - cell / 2
top = float(header["ULYMAP"]) + cell / 2
block = 1400
step = 5  # cells between vertices


def map_point(x, y):
    return left + x * cell, top - y * cell


def wavy(offset, along0, along1, amplitude, phase, vertical):
    """A wavy line at `offset` (in cells) from along0 to along1."""
    points = []
    n = max(2, int((along1 - along0) / step))
    for k in range(n + 1):
        a = along0 + (along1 - along0) * k / n
        d = offset + amplitude * math.sin(2 * math.pi * a / 700.0 + phase)
        points.append((d, a) if vertical else (a, d))
    return points


def strip(line_a, line_b):
    ring = ogr.Geometry(ogr.wkbLinearRing)
    for x, y in line_a + list(reversed(line_b)) + line_a[:1]:
        ring.AddPoint_2D(*map_point(x, y))
    polygon = ogr.Geometry(ogr.wkbPolygon)
    polygon.AddGeometry(ring)
    return polygon


codes = open(folder + "/zones.raw", "rb")
srs = osr.SpatialReference()
srs.ImportFromWkt(open(folder + "/dem_m2.prj").read())
source = ogr.GetDriverByName("GPKG").CreateDataSource(out)
layer = source.CreateLayer("basins", srs, ogr.wkbPolygon)
layer.CreateField(ogr.FieldDefn("code", ogr.OFTInteger))
layer.CreateField(ogr.FieldDefn("zone", ogr.OFTInteger))
layer.StartTransaction()
code = 0
for by in range(0, lines, block):
    for bx in range(0, lines, block):
        codes.seek(by * lines + bx)
        zone = codes.read(1)[0]
        x1, y1 = min(bx + block, lines), min(by + block, lines)
        rect = strip([(bx, by), (bx, y1)], [(x1, by), (x1, y1)])
        margin = block
        # The cuts: wavy columns and rows inside, the block's sides beyond it.
        dx, dy = (x1 - bx) / across, (y1 - by) / down
        cols = [[(bx - margin, by - margin), (bx - margin, y1 + margin)]]
        cols += [wavy(bx + k * dx, by - margin, y1 + margin, 0.3 * dx, k + bx, True) for k in range(1, across)]
        cols += [[(x1 + margin, by - margin), (x1 + margin, y1 + margin)]]
        rows = [[(bx - margin, by - margin), (x1 + margin, by - margin)]]
        rows += [wavy(by + k * dy, bx - margin, x1 + margin, 0.3 * dy, k + by, False) for k in range(1, down)]
        rows += [[(bx - margin, y1 + margin), (x1 + margin, y1 + margin)]]
        for i in range(across):
            column = rect.Intersection(strip(cols[i], cols[i + 1]))
            for j in range(down):
                piece = column.Intersection(strip(rows[j], rows[j + 1]))
                if piece.IsEmpty() or piece.GetArea() == 0:
                    continue
                code += 1
                feature = ogr.Feature(layer.GetLayerDefn())
                feature.SetField("code", code)
                feature.SetField("zone", zone)
                feature.SetGeometry(piece)
                layer.CreateFeature(feature)
layer.CommitTransaction()
source = None
print(code, "polygons")
