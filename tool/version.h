// The tool's version, as the banner, --version and every report give it.
#pragma once

constexpr const char* kVersion = "1.0";
