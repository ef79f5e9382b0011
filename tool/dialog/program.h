// One whole run of the tool through the dialog on a console.
#pragma once

#include <string>

#include "console.h"

// Runs the dialog and the work with folders under `images_dir`. Returns the
// process's exit status: 0 when the result was saved, 1 after a fatal stop
// (its message shown and one key awaited).
int run_mesacrop(Console& con, const std::string& images_dir);
