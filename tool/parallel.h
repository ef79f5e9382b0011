// Work shared over the machine's cores.
#pragma once

#include <functional>

// How many pieces to cut parallel work into: the machine's cores, at least 1.
int worker_count();

// Runs task(0) ... task(count - 1), spread over the cores, and returns once
// all are done. Tasks must not throw: they report their faults as data.
void run_in_parallel(int count, const std::function<void(int)>& task);
