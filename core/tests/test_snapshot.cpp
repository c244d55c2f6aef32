#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "features/adx.hpp"
#include "features/ema.hpp"
#include "features/kama.hpp"
#include "features/linear_slope.hpp"
#include "features/macd.hpp"
#include "features/obv.hpp"
#include "features/sma.hpp"
#include "features/stochastic.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/target_pipeline.hpp"
#include "pipeline_fakes.hpp"
#include "snapshot/crc32.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/utf8.hpp"
#include "snapshot/writer.hpp"
#include "state_limit.hpp"
#include "targets/future_ctc_volatility.hpp"
#include "targets/future_linear_slope.hpp"
#include "targets/future_return.hpp"
#include "test_support.hpp"

namespace vexal {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Rewrites the checksum, so that a change inside reaches the field checks.
Bytes resealed(Bytes bytes) {
  if (bytes.size() < 4) return bytes;
  const std::uint32_t sum = crc32(std::span(bytes).first(bytes.size() - 4));
  for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(sum >> (8 * i));
  return bytes;
}

std::string failure_of(const Bytes& bytes, std::string_view as = "Sma") {
  auto r = restore_transform(bytes, as);
  return r ? std::string("loaded") : r.error().display();
}

Bytes warmed_sma() {
  auto sma = Sma::create({"close"}, 3, {"sma"}).value();
  for (double x : {1.0, 2.0, testing::NaN, 4.0}) {
    const OptionalValue v = testing::bar(x);
    (void)sma.update(std::span(&v, 1));
  }
  return snapshot_of(sma);
}

// A hand-written snapshot, field by field, for the states no update reaches.
template <class F>
Bytes written(F&& fields) {
  SnapshotWriter out;
  fields(out);
  return out.finish();
}

TEST(Snapshot, Crc32IsZlibs) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())), 0xCBF43926U);
}

TEST(Snapshot, Utf8ValidationRejectsMalformedSequences) {
  for (const char* good : {"", "close", "\xc3\xa9t\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x93\x88", "a\0b"}) {
    EXPECT_TRUE(is_valid_utf8(good)) << good;
  }
  for (const char* bad :
       {"\xff", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc3", "\xe2\x82", "\x80"}) {
    EXPECT_FALSE(is_valid_utf8(bad)) << bad;
  }
}

TEST(Snapshot, EnvelopeFailuresSayWhatIsWrong) {
  const Bytes good = warmed_sma();
  Bytes bad_magic = good;
  bad_magic[0] = 'X';
  Bytes future = good;
  future[8] = 2;
  Bytes flipped = good;
  flipped[20] ^= 0x10;
  Bytes trailing = good;
  trailing.insert(trailing.end() - 4, std::uint8_t{0});
  const std::string p = "Invalid input: snapshot: ";
  EXPECT_EQ(failure_of(Bytes(good.begin(), good.begin() + 5)),
            p + "truncated: 5 byte(s), a snapshot has at least 14");
  EXPECT_EQ(failure_of(bad_magic), p + "not a vexal snapshot (the magic tag is missing)");
  EXPECT_EQ(failure_of(resealed(future)), p + "format version 2 is not one this library reads (1 to 1)");
  EXPECT_EQ(failure_of(flipped), p + "checksum mismatch: the bytes are corrupted or truncated");
  EXPECT_EQ(failure_of(Bytes(good.begin(), good.end() - 1)),
            p + "checksum mismatch: the bytes are corrupted or truncated");
  EXPECT_EQ(failure_of(resealed(trailing)),
            p + "1 unexpected byte(s) after the fields at offset " + std::to_string(good.size() - 4));
  EXPECT_EQ(failure_of(good, "Ema"), p + "this is a snapshot of \"Sma\", not of \"Ema\"");
  EXPECT_EQ(failure_of(good), "loaded");
}

// Every class names its own buffers in a load error, whatever base it shares.
TEST(Snapshot, OverfullBuffersAreNamedByTheirClass) {
  struct Case {
    std::string_view tag;
    std::size_t inputs, outputs, fit;
    std::string_view label;
    void (*head)(SnapshotWriter&);
  };
  const auto none = [](SnapshotWriter&) {};
  const Case cases[] = {
      {"Sma", 1, 1, 4, "window values", none},
      {"ParkinsonVolatility", 2, 1, 4, "terms", none},
      {"RogersSatchellVolatility", 4, 1, 4, "terms", none},
      {"RollingZScore", 1, 1, 4, "values", none},
      {"SimpleReturn", 1, 1, 5, "values", none},
      {"LogReturn", 1, 1, 5, "values", none},
      {"Skewness", 1, 1, 4, "values", none},
      {"Kurtosis", 1, 1, 4, "values", none},
      {"LinearSlope", 2, 2, 4, "x values", none},
      {"Ema", 1, 1, 4, "seed values", [](SnapshotWriter& out) { out.value(std::nullopt); }},
      {"Kama", 1, 1, 5, "prices",
       [](SnapshotWriter& out) {
         out.f64(2.0 / 3.0);
         out.f64(2.0 / 31.0);
         out.value(std::nullopt);
       }},
  };
  for (const Case& c : cases) {
    const Bytes bytes = written([&](SnapshotWriter& out) {
      out.text(c.tag);
      out.names(Names(c.inputs, "x"));
      out.names(Names(c.outputs, "y"));
      out.size(4);
      c.head(out);
      out.size(6);
      for (int i = 0; i < 6; ++i) out.value(1.0);
    });
    EXPECT_EQ(failure_of(bytes, c.tag), "Invalid input: snapshot: 6 " + std::string(c.label) +
                                            " stored where " + std::to_string(c.fit) + " fit");
  }
}

TEST(Snapshot, FieldFailuresSayWhatIsWrong) {
  const std::string p = "Invalid input: snapshot: ";
  const auto sma = [](std::size_t window, std::size_t stored) {
    return written([&](SnapshotWriter& out) {
      out.text("Sma");
      out.names({"close"});
      out.names({"sma"});
      out.size(window);
      out.size(stored);
      for (std::size_t i = 0; i < stored; ++i) out.value(1.0);
    });
  };
  EXPECT_EQ(failure_of(sma(3, 3)), "loaded");
  EXPECT_EQ(failure_of(sma(2, 3)), p + "3 window values stored where 2 fit");
  EXPECT_EQ(failure_of(sma(0, 0)), p + "Sma refused its stored configuration: window must be non-zero");
  EXPECT_EQ(failure_of(sma(std::size_t{1} << 62, 0)),
            p + "Sma refused its stored configuration: window is too large");
  // A count beyond what the bytes can hold is refused before any allocation.
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
              out.text("Sma");
              out.u32(0xFFFFFFFFU);
            })),
            p + "input names count 4294967295 at offset 17 exceeds what the remaining 0 byte(s) can hold");
  EXPECT_EQ(
      failure_of(written([](SnapshotWriter& out) {
        out.text("Sma");
        out.names({"close"});
        out.names({"sma"});
        out.size(3);
        out.u64(std::uint64_t{1} << 60);
      })),
      p + "window values 1152921504606846976 at offset 49 exceeds what the remaining 0 byte(s) can hold");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
              out.text("Sma");
              out.names({"cl\xff"});
            })),
            p + "input names at offset 21 is not valid UTF-8");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
              out.text("Sma");
              out.u32(1);
              out.u32(50);
            })),
            p + "truncated: input names needs 50 byte(s) at offset 25, 0 remain");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
              out.text("Sma");
              out.names({"close"});
              out.names({"sma"});
              out.size(3);
              out.size(1);
              out.u8(7);
            })),
            p + "window values at offset 57 has presence flag 7, not 0 or 1");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) { out.text("Smb"); }), "Smb"),
            p + "unknown transform class \"Smb\"");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
                         out.text("Ema");
                         out.names({"close"});
                         out.names({"ema"});
                         out.size(3);
                         out.value(2.0);
                         out.size(1);
                         out.value(1.0);
                       }),
                       "Ema"),
            p + "Ema holds an average and seed values at once");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
                         out.text("Kama");
                         out.names({"close"});
                         out.names({"kama"});
                         out.size(3);
                         out.f64(0.1);
                         out.f64(0.5);
                         out.value(std::nullopt);
                         out.size(0);
                       }),
                       "Kama"),
            p + "Kama smoothing constants fast 0.100000 and slow 0.500000 are not 0 < slow < fast <= 1");
  EXPECT_EQ(failure_of(written([](SnapshotWriter& out) {
                         out.text("LinearSlope");
                         out.names({"x", "y"});
                         out.names({"s", "r"});
                         out.size(3);
                         out.size(2);
                         out.value(1.0);
                         out.value(2.0);
                         out.size(1);
                         out.value(1.0);
                       }),
                       "LinearSlope"),
            p + "LinearSlope holds 2 x values but 1 y values");
}

TEST(Snapshot, PipelinesRebuildThroughTheirConstructors) {
  std::vector<std::unique_ptr<StreamingTransform>> features;
  features.push_back(testing::owned(Ema::create({"s"}, 3, {"e"})));
  features.push_back(testing::owned(Sma::create({"close"}, 2, {"s"})));
  auto pipeline = FeaturePipeline::create(std::move(features), {"close"}).value();
  const OptionalValue closes[] = {1.0, 2.0, std::nullopt, 4.0, 5.0, 6.0};
  for (const auto& c : closes) (void)pipeline.update(std::span(&c, 1));
  const Bytes saved = snapshot_of(pipeline);
  auto restored = restore_feature_pipeline(saved);
  ASSERT_TRUE(restored) << restored.error().display();
  EXPECT_EQ(restored->output_names(), pipeline.output_names());
  EXPECT_EQ(snapshot_of(*restored), saved);
  const OptionalValue next = 7.0;
  const auto peeked = restored->peek(std::span(&next, 1));
  ASSERT_TRUE(peeked);
  const std::vector<OptionalValue> expected(peeked->begin(), peeked->end());
  EXPECT_EQ(snapshot_of(*restored), saved);
  const auto row = restored->update(std::span(&next, 1));
  ASSERT_TRUE(row);
  ASSERT_EQ(row->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(testing::same_value((*row)[i], expected[i]));
  EXPECT_EQ(restored->peek({}).error(), restored->update({}).error());
  // A pipeline whose stored input columns no longer supply its features is refused as create refuses it.
  const Bytes missing = written([](SnapshotWriter& out) {
    out.text("FeaturePipeline");
    out.names({"open"});
    out.size(1);
    Sma::create({"close"}, 2, {"s"}).value().save(out);
  });
  EXPECT_EQ(
      restore_feature_pipeline(missing).error().display(),
      "Invalid input: snapshot: FeaturePipeline refused its stored configuration: Missing input column(s): "
      "[\"close\"]");
  std::vector<std::unique_ptr<Target>> targets;
  targets.push_back(std::make_unique<FutureReturn>(FutureReturn::create({"close"}, 2, {"f"}).value()));
  targets.push_back(std::make_unique<FutureCTCVolatility>(FutureCTCVolatility::create("close", 3).value()));
  const auto labels = TargetPipeline::create(std::move(targets), {"close"}).value();
  const Bytes labelled = snapshot_of(labels);
  auto back = restore_target_pipeline(labelled);
  ASSERT_TRUE(back) << back.error().display();
  EXPECT_EQ(back->output_names(), labels.output_names());
  EXPECT_EQ(snapshot_of(*back), labelled);
  // A pipeline of objects no loader knows saves, but does not load.
  auto fakes =
      FeaturePipeline::create(testing::transforms(testing::fake({"close"}, {"f"})), {"close"}).value();
  EXPECT_EQ(restore_feature_pipeline(snapshot_of(fakes)).error().display(),
            "Invalid input: snapshot: unknown transform class \"FakeTransform\"");
}

// Under a limit, the windows a snapshot declares are counted before they
// are reserved: three windows of 2^20 values are refused at the limit their
// storage exceeds, load under a larger one, and a limit ends with its scope.
TEST(Snapshot, DeclaredStateIsCountedAgainstTheLimitInForce) {
  std::vector<std::unique_ptr<StreamingTransform>> features;
  for (const char* name : {"a", "b", "c"}) {
    features.push_back(testing::owned(Sma::create({"close"}, std::size_t{1} << 20, {name})));
  }
  const Bytes saved = snapshot_of(FeaturePipeline::create(std::move(features), {"close"}).value());
  // Mirrored: two copies of a double and an absent flag per entry.
  const std::size_t window_bytes = 2 * (std::size_t{1} << 20) * (sizeof(double) + sizeof(bool));
  {
    const StateLimit limit(3 * window_bytes - 1);
    EXPECT_EQ(restore_feature_pipeline(saved).error().display(),
              "Invalid input: snapshot: Sma refused its stored configuration: the declared state needs " +
                  std::to_string(3 * window_bytes) + " bytes, more than the limit of " +
                  std::to_string(3 * window_bytes - 1) + " (max_bytes)");
    const StateLimit inner(3 * window_bytes);
    EXPECT_TRUE(restore_feature_pipeline(saved));
  }
  EXPECT_TRUE(restore_feature_pipeline(saved));
  const StateLimit none(0);
  EXPECT_EQ(Sma::create({"x"}, 1, {"s"}).error().display(),
            "Invalid input: the declared state needs 18 bytes, more than the limit of 0 (max_bytes)");
}

// Random truncations, flips (checksum kept or rewritten) and splices of
// valid snapshots: every outcome is a loaded object or a snapshot error,
// never a crash, a throw or (under the sanitizers) a leak or a bad read.
TEST(Snapshot, CorruptedBytesOnlyEverGiveSnapshotErrors) {
  std::vector<std::unique_ptr<StreamingTransform>> features;
  features.push_back(testing::owned(Kama::create({"close"}, 4, {"k"}, 2, 9)));
  features.push_back(testing::owned(LinearSlope::create({"close", "k"}, 3, {"s", "r"})));
  // Nested averages, running totals and windows of several lengths.
  features.push_back(testing::owned(Macd::create({"close"}, {"m", "ms", "mh"}, 2, 3, 2)));
  features.push_back(testing::owned(Adx::create({"close", "k", "s"}, 2, {"a", "ap", "am"})));
  features.push_back(testing::owned(Obv::create({"close", "k"}, {"o"})));
  features.push_back(testing::owned(Stochastic::create({"close", "k", "s"}, 2, {"sk", "sd"}, 2, 3)));
  auto pipeline = FeaturePipeline::create(std::move(features), {"close"}).value();
  for (double x : {3.0, 4.0, 2.0, 5.0, 6.0, 5.5, 7.0}) {
    const OptionalValue v = x;
    (void)pipeline.update(std::span(&v, 1));
  }
  std::vector<std::unique_ptr<Target>> targets;
  targets.push_back(
      std::make_unique<FutureLinearSlope>(FutureLinearSlope::create({"a", "b"}, 3, {"s", "r"}).value()));
  const auto labels = TargetPipeline::create(std::move(targets), {"a", "b"}).value();
  const std::vector<Bytes> valid = {warmed_sma(), snapshot_of(pipeline), snapshot_of(labels)};

  std::mt19937_64 rng(12);
  const auto below = [&](std::size_t n) {
    return static_cast<std::size_t>(rng() % std::max<std::size_t>(n, 1));
  };
  std::size_t loaded = 0;
  for (int round = 0; round < 6000; ++round) {
    const Bytes& a = valid[below(valid.size())];
    const Bytes& b = valid[below(valid.size())];
    Bytes bytes;
    switch (round % 4) {
      case 0:
        bytes.assign(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(below(a.size())));
        break;
      case 1:
        bytes = a;
        for (std::size_t k = below(3) + 1; k > 0; --k)
          bytes[below(bytes.size())] ^= std::uint8_t(1U << below(8));
        break;
      case 2: {
        const auto i = static_cast<std::ptrdiff_t>(below(a.size()));
        const auto j = static_cast<std::ptrdiff_t>(below(b.size()));
        bytes.assign(a.begin(), a.begin() + i);
        bytes.insert(bytes.end(), b.begin() + j, b.end());
        break;
      }
      default:
        bytes = a;
        bytes[10 + below(bytes.size() - 14)] = static_cast<std::uint8_t>(rng());
        break;
    }
    if (round % 3 != 0) bytes = resealed(std::move(bytes));
    const auto check = [&](const auto& result) {
      if (result) {
        ++loaded;
      } else {
        ASSERT_TRUE(result.error().template is<VexalError::InvalidInput>());
        ASSERT_EQ(result.error().display().rfind("Invalid input: snapshot: ", 0), 0u)
            << result.error().display();
      }
    };
    check(restore_transform(bytes, "Sma"));
    check(restore_feature_pipeline(bytes));
    check(restore_target_pipeline(bytes));
    check(snapshot_class(bytes));
  }
  EXPECT_GT(loaded, 0u);
}

}  // namespace
}  // namespace vexal
