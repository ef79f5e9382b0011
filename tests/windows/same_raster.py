"""Whether two rasters hold the same cells, read by this machine's GDAL.

    python3 same_raster.py A B

Exit status 0 when both have the same size, bands, cell type, geotransform,
coordinate system, no-data values and cells, bit for bit; otherwise 1, and
what differs is printed.
"""
import sys

from osgeo import gdal, osr

gdal.UseExceptions()


def facts(path):
    raster = gdal.Open(path)
    srs = osr.SpatialReference(wkt=raster.GetProjection()) if raster.GetProjection() else None
    bands = [raster.GetRasterBand(k + 1) for k in range(raster.RasterCount)]
    return {
        "size": (raster.RasterXSize, raster.RasterYSize, raster.RasterCount),
        "geotransform": raster.GetGeoTransform(can_return_null=True),
        "srs": srs,
        "types": [gdal.GetDataTypeName(b.DataType) for b in bands],
        "no-data": [b.GetNoDataValue() for b in bands],
        "cells": [b.ReadRaster() for b in bands],
    }


def main(a, b):
    fa, fb = facts(a), facts(b)
    differ = [key for key in ("size", "geotransform", "types", "no-data", "cells") if fa[key] != fb[key]]
    if (fa["srs"] is None) != (fb["srs"] is None) or (fa["srs"] is not None and not fa["srs"].IsSame(fb["srs"])):
        differ.append("coordinate system")
    for key in differ:
        shown = (fa[key], fb[key]) if key in ("size", "geotransform", "types", "no-data") else ""
        print(f"{a} and {b}: the {key} differ {shown}")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
