// Units of altitudes, in one table: the stored integers of raw rasters (m
// to mm) and the vertical units of rasters read through GDAL (m to mm,
// international feet, US survey feet). Flags, bands, coordinate systems and
// reports all name them from here.
#pragma once

#include <optional>
#include <string>

enum Unit { kMetre, kDecimetre, kCentimetre, kMillimetre, kFoot, kUsFoot, kUnitCount };

// Metres of a foot and of a US survey foot.
constexpr double kFootMetres = 0.3048, kUsFootMetres = 1200.0 / 3937.0;

// Unit factors of stored integers (m to mm): stored value / factor = metres.
constexpr double kScaleCoef[4] = {1.0, 10.0, 100.0, 1000.0};

// An altitude in metres from a value in `unit`: m to mm divide by 1, 10,
// 100 or 1000, as raw rasters always have; feet multiply.
double to_metres(double value, int unit);

// The unit's short name, as flags take it and reports write it: "m", "dm",
// "cm", "mm", "ft", "us-ft".
const char* unit_name(int unit);

// Every short name, for messages: "m, dm, cm, mm, ft or us-ft".
std::string unit_names();

// The unit a name stands for: a short name, or a name that GDAL, PROJ and
// the common producers write for a band or a coordinate system ("metre",
// "meters", "Foot_US", "US survey foot"...), in any case; none when unknown.
std::optional<int> unit_of_name(const std::string& name);
