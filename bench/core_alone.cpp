// The bench's transforms and its twelve-transform pipeline run in C++ with
// no Python at all: what a bar costs the core itself. Loaded by run.py
// through ctypes and timed beside the Python sides, so the gap between the
// two is what the boundary (converting the bar, building the result list)
// costs. Built by the bench only; never shipped.
#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "features/ema.hpp"
#include "features/kama.hpp"
#include "features/kurtosis.hpp"
#include "features/linear_slope.hpp"
#include "features/log_return.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/simple_return.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "operators/subtract.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "scalers/rolling_zscore.hpp"

namespace {

using namespace vexal;

template <class T>
std::unique_ptr<StreamingTransform> owned(std::expected<T, VexalError> made) {
  return std::make_unique<T>(std::move(*made));
}

// Mirrors twelve() in run.py.
std::vector<std::unique_ptr<StreamingTransform>> twelve(std::size_t w) {
  std::vector<std::unique_ptr<StreamingTransform>> f;
  f.push_back(owned(Sma::create({"close"}, w, {"sma"})));
  f.push_back(owned(Ema::create({"close"}, w, {"ema"})));
  f.push_back(owned(Kama::create({"close"}, w, {"kama"})));
  f.push_back(owned(SimpleReturn::create({"close"}, 10, {"ret10"})));
  f.push_back(owned(LogReturn::create({"close"}, 1, {"lr"})));
  f.push_back(owned(Skewness::create({"lr"}, w, {"skew"})));
  f.push_back(owned(Kurtosis::create({"lr"}, w, {"kurt"})));
  f.push_back(owned(LinearSlope::create({"sma", "close"}, w, {"slope", "r2"})));
  f.push_back(owned(ParkinsonVolatility::create({"high", "low"}, w, {"pv"})));
  f.push_back(owned(RogersSatchellVolatility::create({"high", "low", "open", "close"}, w, {"rs"})));
  f.push_back(owned(RollingZScore::create({"close"}, w, {"z"})));
  f.push_back(owned(Subtract::create({"close", "sma"}, {"dist"})));
  return f;
}

// One of the live table's transforms by its class name, at `w`; null for
// any other name.
std::unique_ptr<StreamingTransform> single(std::string_view name, std::size_t w) {
  if (name == "Sma") return owned(Sma::create({"c"}, w, {"o"}));
  if (name == "Ema") return owned(Ema::create({"c"}, w, {"o"}));
  if (name == "Kama") return owned(Kama::create({"c"}, w, {"o"}));
  if (name == "RollingZScore") return owned(RollingZScore::create({"c"}, w, {"o"}));
  if (name == "Skewness") return owned(Skewness::create({"c"}, w, {"o"}));
  if (name == "LinearSlope") return owned(LinearSlope::create({"t", "c"}, w, {"s", "r2"}));
  return nullptr;
}

// The nanoseconds `update` took over `n` bars of `width` values each (row
// after row in `bars`), on `t` fresh from construction.
double time_updates(auto& t, const double* bars, std::size_t n, std::size_t width) {
  std::vector<OptionalValue> values(bars, bars + width * n);
  volatile std::size_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < n; ++i) {
    const std::span<const OptionalValue> bar =
        std::span<const OptionalValue>(values).subspan(width * i, width);
    if constexpr (requires { t.update(bar)->size(); }) {
      sink = sink + t.update(bar)->size();
    } else {
      sink = sink + t.update(bar).size();
    }
  }
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(stop - start).count();
}

}  // namespace

// Runs `n` bars of `width` values through a fresh transform of class `name`
// and returns the nanoseconds the updates took, or -1 for an unknown name.
extern "C" double vexal_core_transform_ns(const char* name, const double* bars, std::size_t n,
                                          std::size_t width, std::size_t window) {
  const auto t = single(name, window);
  if (t == nullptr) return -1.0;
  return time_updates(*t, bars, n, width);
}

// Runs `n` OHLCV bars (row-major, five doubles each) through a fresh
// pipeline bar by bar and returns the nanoseconds the updates took, or -1
// if the pipeline could not be built.
extern "C" double vexal_core_pipeline_ns(const double* ohlcv, std::size_t n, std::size_t window) {
  auto pipeline = FeaturePipeline::create(twelve(window), {"open", "high", "low", "close", "volume"});
  if (!pipeline) return -1.0;
  return time_updates(*pipeline, ohlcv, n, 5);
}

// A universe: `symbols` fresh pipelines, each bar updating every symbol's
// in turn from its OHLCV row (`frames` holds, bar after bar, a row of five
// doubles per symbol). The nanoseconds the updates took, or -1 if the
// pipeline could not be built: the bound a book's update can approach.
extern "C" double vexal_core_universe_ns(const double* frames, std::size_t symbols, std::size_t bars,
                                         std::size_t window) {
  std::vector<FeaturePipeline> universe;
  for (std::size_t s = 0; s < symbols; ++s) {
    auto pipeline = FeaturePipeline::create(twelve(window), {"open", "high", "low", "close", "volume"});
    if (!pipeline) return -1.0;
    universe.push_back(std::move(*pipeline));
  }
  std::vector<OptionalValue> values(frames, frames + 5 * symbols * bars);
  volatile std::size_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t b = 0; b < bars; ++b) {
    for (std::size_t s = 0; s < symbols; ++s) {
      const auto bar = std::span<const OptionalValue>(values).subspan(5 * (b * symbols + s), 5);
      sink = sink + universe[s].update(bar)->size();
    }
  }
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(stop - start).count();
}
