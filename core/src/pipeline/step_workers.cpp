#include "pipeline/step_workers.hpp"

namespace vexal {
namespace {

// The next step to take carries its round in the high half, so a thread
// still finishing one round can never take a step of the next.
constexpr std::uint64_t ticket(std::uint32_t round, std::size_t step) {
  return (std::uint64_t{round} << 32) | step;
}

}  // namespace

StepWorkers::StepWorkers(std::vector<std::vector<std::size_t>> after, std::size_t threads)
    : after_(std::move(after)), finished_(new std::atomic<std::uint32_t>[after_.size()]) {
  for (std::size_t s = 0; s < after_.size(); ++s) finished_[s].store(0);
  for (std::size_t t = 1; t < threads; ++t) {
    threads_.emplace_back([this](const std::stop_token& stop) { serve(stop); });
  }
}

StepWorkers::~StepWorkers() {
  for (std::jthread& t : threads_) t.request_stop();
  round_.fetch_add(1, std::memory_order_release);
  round_.notify_all();
}

void StepWorkers::round(const std::function<void(std::size_t)>& execute) {
  if (threads_.empty()) {
    for (std::size_t s = 0; s < after_.size(); ++s) execute(s);
    return;
  }
  const std::uint32_t r = round_.load(std::memory_order_relaxed) + 1;
  execute_ = &execute;
  failed_.store(false, std::memory_order_relaxed);
  failure_ = nullptr;
  remaining_.store(after_.size(), std::memory_order_relaxed);
  next_.store(ticket(r, 0), std::memory_order_relaxed);
  round_.store(r, std::memory_order_release);
  round_.notify_all();
  work(r);
  for (std::size_t left = remaining_.load(std::memory_order_acquire); left != 0;
       left = remaining_.load(std::memory_order_acquire)) {
    remaining_.wait(left, std::memory_order_acquire);
  }
  if (failure_) std::rethrow_exception(failure_);
}

void StepWorkers::work(std::uint32_t r) {
  const std::size_t steps = after_.size();
  for (;;) {
    std::uint64_t taken = next_.load(std::memory_order_acquire);
    do {
      if (taken >> 32 != r || (taken & 0xffffffffU) >= steps) return;
    } while (!next_.compare_exchange_weak(taken, taken + 1, std::memory_order_acq_rel));
    const auto s = static_cast<std::size_t>(taken & 0xffffffffU);
    for (const std::size_t d : after_[s]) {
      for (std::uint32_t seen = finished_[d].load(std::memory_order_acquire); seen != r;
           seen = finished_[d].load(std::memory_order_acquire)) {
        finished_[d].wait(seen, std::memory_order_acquire);
      }
    }
    if (!failed_.load(std::memory_order_acquire)) {
      try {
        (*execute_)(s);
      } catch (...) {
        const std::lock_guard lock(failure_mutex_);
        if (!failure_) failure_ = std::current_exception();
        failed_.store(true, std::memory_order_release);
      }
    }
    finished_[s].store(r, std::memory_order_release);
    finished_[s].notify_all();
    if (remaining_.fetch_sub(1, std::memory_order_acq_rel) == 1) remaining_.notify_all();
  }
}

void StepWorkers::serve(const std::stop_token& stop) {
  std::uint32_t seen = 0;
  for (;;) {
    round_.wait(seen, std::memory_order_acquire);
    if (stop.stop_requested()) return;
    seen = round_.load(std::memory_order_acquire);
    work(seen);
  }
}

}  // namespace vexal
