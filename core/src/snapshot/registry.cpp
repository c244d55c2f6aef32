#include "snapshot/registry.hpp"

#include "features/adx.hpp"
#include "features/atr.hpp"
#include "features/bollinger_bands.hpp"
#include "features/cci.hpp"
#include "features/ema.hpp"
#include "features/garman_klass_volatility.hpp"
#include "features/kama.hpp"
#include "features/kurtosis.hpp"
#include "features/linear_slope.hpp"
#include "features/log_return.hpp"
#include "features/macd.hpp"
#include "features/obv.hpp"
#include "features/parkinson_volatility.hpp"
#include "features/rogers_satchell_volatility.hpp"
#include "features/rolling_correlation.hpp"
#include "features/rolling_max.hpp"
#include "features/rolling_min.hpp"
#include "features/rolling_quantile.hpp"
#include "features/rolling_std.hpp"
#include "features/rsi.hpp"
#include "features/simple_return.hpp"
#include "features/skewness.hpp"
#include "features/sma.hpp"
#include "features/stochastic.hpp"
#include "features/true_range.hpp"
#include "features/vwap.hpp"
#include "features/williams_r.hpp"
#include "features/yang_zhang_volatility.hpp"
#include "operators/lag.hpp"
#include "operators/neg_log.hpp"
#include "operators/ratio.hpp"
#include "operators/subtract.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/target_pipeline.hpp"
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_return.hpp"
#include "targets/meta_label.hpp"
#include "targets/triple_barrier.hpp"
#include "text/list_form.hpp"

namespace vexal {
namespace {

template <class Base>
using Loader = std::expected<std::unique_ptr<Base>, VexalError> (*)(SnapshotReader&);

template <class Base>
struct Entry {
  std::string_view tag;
  Loader<Base> load;
};

template <class Base, class T>
constexpr Entry<Base> entry() {
  return {T::snapshot_tag, [](SnapshotReader& in) -> std::expected<std::unique_ptr<Base>, VexalError> {
            auto made = T::load(in);
            if (!made) return std::unexpected(std::move(made.error()));
            return std::make_unique<T>(std::move(*made));
          }};
}

constexpr Entry<StreamingTransform> kTransforms[] = {
    entry<StreamingTransform, Sma>(),
    entry<StreamingTransform, Ema>(),
    entry<StreamingTransform, Kama>(),
    entry<StreamingTransform, SimpleReturn>(),
    entry<StreamingTransform, LogReturn>(),
    entry<StreamingTransform, Skewness>(),
    entry<StreamingTransform, Kurtosis>(),
    entry<StreamingTransform, LinearSlope>(),
    entry<StreamingTransform, ParkinsonVolatility>(),
    entry<StreamingTransform, RogersSatchellVolatility>(),
    entry<StreamingTransform, Subtract>(),
    entry<StreamingTransform, NegLog>(),
    entry<StreamingTransform, RollingZScore>(),
    entry<StreamingTransform, FixedZScore>(),
    entry<StreamingTransform, Rsi>(),
    entry<StreamingTransform, TrueRange>(),
    entry<StreamingTransform, Atr>(),
    entry<StreamingTransform, Adx>(),
    entry<StreamingTransform, BollingerBands>(),
    entry<StreamingTransform, Macd>(),
    entry<StreamingTransform, Stochastic>(),
    entry<StreamingTransform, WilliamsR>(),
    entry<StreamingTransform, Cci>(),
    entry<StreamingTransform, Obv>(),
    entry<StreamingTransform, Vwap>(),
    entry<StreamingTransform, RollingMin>(),
    entry<StreamingTransform, RollingMax>(),
    entry<StreamingTransform, RollingStd>(),
    entry<StreamingTransform, RollingCorrelation>(),
    entry<StreamingTransform, RollingQuantile>(),
    entry<StreamingTransform, GarmanKlassVolatility>(),
    entry<StreamingTransform, YangZhangVolatility>(),
    entry<StreamingTransform, Lag>(),
    entry<StreamingTransform, Ratio>(),
};

constexpr Entry<Target> kTargets[] = {
    entry<Target, FutureReturn>(),
    entry<Target, FutureCTCVolatility>(),
    entry<Target, FutureLinearSlope>(),
    entry<Target, TripleBarrier>(),
    entry<Target, MetaLabel>(),
};

template <class Base, std::size_t N>
std::expected<std::unique_ptr<Base>, VexalError> load_from(const Entry<Base> (&table)[N], SnapshotReader& in,
                                                           std::string_view kind) {
  const std::string tag = in.text("class tag");
  if (!in.ok()) return in.failure();
  for (const auto& e : table) {
    if (e.tag == tag) return e.load(in);
  }
  return snapshot_error("unknown " + std::string(kind) + " class " + quoted_name(tag));
}

// Opens a snapshot and reads its tag, which must be `expected`.
std::expected<SnapshotReader, VexalError> open_as(std::span<const std::uint8_t> bytes,
                                                  std::string_view expected) {
  auto in = open_snapshot(bytes);
  if (!in) return in;
  SnapshotReader peeked = *in;
  const std::string tag = peeked.text("class tag");
  if (!peeked.ok()) return peeked.failure();
  if (tag != expected) {
    return snapshot_error("this is a snapshot of " + quoted_name(tag) + ", not of " + quoted_name(expected));
  }
  return in;
}

// Rebuilds with `load` from a reader still at the tag; all bytes must be used.
template <class T, class Load>
std::expected<T, VexalError> restore(std::span<const std::uint8_t> bytes, std::string_view expected,
                                     Load load) {
  auto in = open_as(bytes, expected);
  if (!in) return std::unexpected(std::move(in.error()));
  auto made = load(*in);
  if (!made) return std::unexpected(std::move(made.error()));
  if (auto done = in->finish(); !done) return std::unexpected(std::move(done.error()));
  return std::move(*made);
}

template <class T>
std::expected<T, VexalError> load_pipeline(SnapshotReader& in) {
  (void)in.text("class tag");
  return T::load(in);
}

}  // namespace

std::expected<std::unique_ptr<StreamingTransform>, VexalError> load_transform(SnapshotReader& in) {
  return load_from(kTransforms, in, "transform");
}

std::expected<std::unique_ptr<Target>, VexalError> load_target(SnapshotReader& in) {
  return load_from(kTargets, in, "target");
}

std::expected<std::string, VexalError> snapshot_class(std::span<const std::uint8_t> bytes) {
  auto in = open_snapshot(bytes);
  if (!in) return std::unexpected(std::move(in.error()));
  std::string tag = in->text("class tag");
  if (!in->ok()) return in->failure();
  return tag;
}

std::expected<std::unique_ptr<StreamingTransform>, VexalError> restore_transform(
    std::span<const std::uint8_t> bytes, std::string_view expected) {
  return restore<std::unique_ptr<StreamingTransform>>(bytes, expected, &load_transform);
}

std::expected<std::unique_ptr<Target>, VexalError> restore_target(std::span<const std::uint8_t> bytes,
                                                                  std::string_view expected) {
  return restore<std::unique_ptr<Target>>(bytes, expected, &load_target);
}

std::expected<FeaturePipeline, VexalError> restore_feature_pipeline(std::span<const std::uint8_t> bytes) {
  return restore<FeaturePipeline>(bytes, FeaturePipeline::snapshot_tag, &load_pipeline<FeaturePipeline>);
}

std::expected<TargetPipeline, VexalError> restore_target_pipeline(std::span<const std::uint8_t> bytes) {
  return restore<TargetPipeline>(bytes, TargetPipeline::snapshot_tag, &load_pipeline<TargetPipeline>);
}

}  // namespace vexal
