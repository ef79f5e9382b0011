// Sine and natural logarithm, correctly rounded: the double nearest the true
// value. The C libraries of the systems the tool runs on round them
// differently in the last bit (glibc and MinGW-w64's do), which would give
// a DEM in degrees other cell areas, and other volumes, on each system;
// these give the same bits everywhere, and those of any library that rounds
// correctly. They are slow (a few hundred operations) and meant for a few
// values a line, not for a value a cell.
#pragma once

// sin(x) for |x| <= 4 (more than a right angle either way, in radians).
double rounded_sin(double x);

// log(y) for every finite y > 0.
double rounded_log(double y);
