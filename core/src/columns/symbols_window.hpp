#pragma once

#include <cstddef>
#include <span>
#include <type_traits>
#include <vector>

#include "columns/window_rows.hpp"
#include "value_buffer.hpp"

namespace vexal {

// What a step over many symbols' windows at one bar borrows: the windows'
// starts and the values it keeps per symbol. Held per thread and reused, so
// once a universe has been seen a bar allocates nothing.
class SymbolsScratch {
 public:
  [[nodiscard]] static SymbolsScratch& local() {
    thread_local SymbolsScratch scratch;
    return scratch;
  }

  // A new step: `windows` views of `n` symbols each, no window longer than
  // `widest`; every value taken before is handed out again.
  void start(std::size_t windows, std::size_t n, std::size_t widest) {
    n_ = n;
    if (zeros_.size() < widest) zeros_.resize(widest, 0.0);
    taken_ = 0;
    if (buffers_.size() < windows) buffers_.resize(windows);
    if (starts_.size() < windows) starts_.resize(windows);
    for (std::size_t i = 0; i < windows; ++i) {
      buffers_[i].resize(n);
      starts_[i].resize(n);
    }
  }

  [[nodiscard]] std::span<ValueBuffer*> buffers(std::size_t i) { return buffers_[i]; }
  [[nodiscard]] std::span<const double*> starts(std::size_t i) { return starts_[i]; }

  // Room for what `count` undoable pushes displace (a peek).
  [[nodiscard]] std::span<ValueBuffer::Displaced> displaced(std::size_t count) {
    displaced_.resize(count);
    return displaced_;
  }

  // As many zeros as the widest window: the entries a window not yet full reads, so a kernel
  // over every symbol reads only memory it owns. Its result there is unused.
  [[nodiscard]] const double* zeros() const { return zeros_.data(); }

  // A zeroed value per symbol, valid until the next start.
  [[nodiscard]] std::span<double> take() {
    if (taken_ == values_.size()) values_.emplace_back();
    std::vector<double>& v = values_[taken_++];
    v.assign(n_, 0.0);
    return v;
  }

 private:
  std::size_t n_ = 0;
  std::size_t taken_ = 0;
  std::vector<std::vector<ValueBuffer*>> buffers_;
  std::vector<std::vector<const double*>> starts_;
  std::vector<ValueBuffer::Displaced> displaced_;
  std::vector<double> zeros_;
  std::vector<std::vector<double>> values_;  // moved, never copied, when it grows: spans stay valid
};

// One bar of many symbols, side by side: entry i is symbol i's buffer right
// after its bar's entry went in, as a BarWindow would see it. The window
// kernels run over every symbol at once, one symbol a vector lane, with the
// operations a BarWindow's one lane performs, so each symbol's bits are its
// own pipeline's.
class SymbolsWindow {
 public:
  // View `i` of the scratch's current step, its buffers already set.
  SymbolsWindow(SymbolsScratch& scratch, std::size_t i)
      : scratch_(&scratch), buffers_(scratch.buffers(i)), starts_(scratch.starts(i)) {
    for (std::size_t s = 0; s < buffers_.size(); ++s) {
      ValueBuffer& b = *buffers_[s];
      starts_[s] = b.full() ? b.make_contiguous().data() : scratch.zeros();
    }
  }

  [[nodiscard]] std::size_t bars() const { return buffers_.size(); }
  // Every symbol's window can be read; full(i) says whose is one.
  [[nodiscard]] std::size_t first_full() const { return 0; }
  [[nodiscard]] bool full(std::size_t i) const { return buffers_[i]->full(); }
  [[nodiscard]] Gathered rows(std::size_t first) const { return {starts_.data() + first}; }
  [[nodiscard]] const double* window_of(std::size_t i) const { return starts_[i]; }
  [[nodiscard]] bool complete(std::size_t i) const { return buffers_[i]->complete(); }
  [[nodiscard]] bool present(std::size_t i, std::size_t back = 0) const {
    const ValueBuffer& b = *buffers_[i];
    return b[b.size() - 1 - back].has_value();
  }
  [[nodiscard]] double value(std::size_t i, std::size_t back = 0) const {
    const ValueBuffer& b = *buffers_[i];
    return b[b.size() - 1 - back].value_or(0.0);
  }
  [[nodiscard]] SymbolsScratch& scratch() const { return *scratch_; }

 private:
  SymbolsScratch* scratch_;
  std::span<ValueBuffer*> buffers_;
  std::span<const double*> starts_;
};

template <class T>
[[nodiscard]] std::span<T> per_bar(const SymbolsWindow& window) {
  static_assert(std::is_same_v<T, double>, "a step over symbols keeps doubles per symbol");
  return window.scratch().take();
}

}  // namespace vexal
