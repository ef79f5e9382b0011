#include "sink.h"

#include "run.h"

RasterGeometry ResultSink::report_geometry(const Run& run) const { return run.geometry(); }
