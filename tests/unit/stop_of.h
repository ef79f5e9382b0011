// A fatal stop as the message it would show.
#pragma once

#include <functional>
#include <string>

#include "fatal.h"

// Runs `work`; the message of the fatal stop it makes, or "(no stop)".
inline std::string stop_of(const std::function<void()>& work) {
  try {
    work();
  } catch (const FatalStop& stop) {
    return stop.message;
  }
  return "(no stop)";
}
