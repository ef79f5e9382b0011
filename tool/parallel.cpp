#include "parallel.h"

#include <system_error>
#include <thread>
#include <vector>

int worker_count() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

void run_in_parallel(int count, const std::function<void(int)>& task) {
  std::vector<std::thread> helpers;
  int started = 1;
  for (; started < count; ++started) {
    try {
      helpers.emplace_back(task, started);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: this thread does the rest
    }
  }
  if (count > 0) task(0);
  for (int k = started; k < count; ++k) task(k);
  for (std::thread& helper : helpers) helper.join();
}
