#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vexal {

// Runs a fixed list of steps, once per round, on several threads. Step s may
// start once every step it depends on (all earlier in the list) has finished
// in the same round; steps are taken in list order, so a step only ever
// waits for steps already running, and the order of each transform's own
// work is the order of the list. The calling thread works too, and a round
// returns when every step has finished. The first exception a step throws is
// rethrown by `round`, after the other steps of the round have been skipped.
class StepWorkers {
 public:
  // `after[s]` lists the steps s must wait for; `threads` counts the
  // calling thread.
  StepWorkers(std::vector<std::vector<std::size_t>> after, std::size_t threads);
  ~StepWorkers();
  StepWorkers(const StepWorkers&) = delete;
  StepWorkers& operator=(const StepWorkers&) = delete;

  // Runs execute(s) for every step; `execute` must be safe to call for
  // different steps at once.
  void round(const std::function<void(std::size_t)>& execute);

 private:
  void work(std::uint32_t round);
  void serve(const std::stop_token& stop);

  std::vector<std::vector<std::size_t>> after_;
  // Per step, the last round in which it finished.
  std::unique_ptr<std::atomic<std::uint32_t>[]> finished_;
  std::atomic<std::uint32_t> round_{0};
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> remaining_{0};
  std::atomic<bool> failed_{false};
  const std::function<void(std::size_t)>* execute_ = nullptr;
  std::mutex failure_mutex_;
  std::exception_ptr failure_;
  std::vector<std::jthread> threads_;
};

}  // namespace vexal
