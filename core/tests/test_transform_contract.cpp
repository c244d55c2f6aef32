#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "alloc_counter.hpp"
#include "catalog.hpp"
#include "internal_failure.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"
#include "test_support.hpp"

// The promises every streaming transform makes to a pipeline, checked on
// each transform of the catalog over real SPY bars with a gap and an
// invalid bar mixed in.

namespace vexal {
namespace {

using Bars = std::vector<std::vector<OptionalValue>>;
using Outputs = std::vector<UpdateResult>;

struct Subject {
  std::string name;
  Names inputs;   // as given to the constructor, extra names included where allowed
  Names outputs;  // likewise
  std::size_t reads;
  std::size_t produces;
  std::function<std::unique_ptr<StreamingTransform>(Names, Names)> make;
  std::vector<std::size_t> order = {};  // the bar columns it reads, when not the first ones in turn

  [[nodiscard]] std::unique_ptr<StreamingTransform> build() const { return make(inputs, outputs); }
};

void PrintTo(const Subject& s, std::ostream* os) { *os << s.name; }

template <class T, class... Config>
std::function<std::unique_ptr<StreamingTransform>(Names, Names)> windowed(std::size_t window,
                                                                          Config... config) {
  return [=](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
    return std::make_unique<T>(T::create(std::move(inputs), window, std::move(outputs), config...).value());
  };
}

// Built as create(inputs, outputs, config...).
template <class T, class... Config>
std::function<std::unique_ptr<StreamingTransform>(Names, Names)> configured(Config... config) {
  return [=](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
    return std::make_unique<T>(T::create(std::move(inputs), std::move(outputs), config...).value());
  };
}

template <class T>
std::function<std::unique_ptr<StreamingTransform>(Names, Names)> stateless() {
  return [](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
    return std::make_unique<T>(T::create(std::move(inputs), std::move(outputs)).value());
  };
}

std::vector<Subject> subjects() {
  return {
      {"Sma", {"close", "extra"}, {"sma", "spare"}, 1, 1, windowed<Sma>(5)},
      {"Ema", {"close", "extra"}, {"ema", "spare"}, 1, 1, windowed<Ema>(4)},
      {"RollingZScore", {"close"}, {"z", "spare"}, 1, 1, windowed<RollingZScore>(5)},
      {"FixedZScore",
       {"close"},
       {"z", "spare"},
       1,
       1,
       [](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
         return std::make_unique<FixedZScore>(
             FixedZScore::create(std::move(inputs), std::move(outputs), 120.0, 15.0).value());
       }},
      {"Kama",
       {"close", "extra"},
       {"kama", "spare"},
       1,
       1,
       windowed<Kama>(5, std::size_t{3}, std::size_t{20})},
      {"SimpleReturn", {"close", "extra"}, {"r", "spare"}, 1, 1, windowed<SimpleReturn>(3)},
      {"LogReturn", {"close", "extra"}, {"r", "spare"}, 1, 1, windowed<LogReturn>(3)},
      {"Skewness", {"close", "extra"}, {"s", "spare"}, 1, 1, windowed<Skewness>(5)},
      {"Kurtosis", {"close", "extra"}, {"k", "spare"}, 1, 1, windowed<Kurtosis>(6)},
      {"LinearSlope", {"x", "y", "extra"}, {"slope", "r2"}, 2, 2, windowed<LinearSlope>(4)},
      {"ParkinsonVolatility",
       {"high", "low", "extra"},
       {"p", "spare"},
       2,
       1,
       windowed<ParkinsonVolatility>(4)},
      {"RogersSatchellVolatility",
       {"high", "low", "open", "close", "extra"},
       {"rs", "spare"},
       4,
       1,
       windowed<RogersSatchellVolatility>(4)},
      {"Subtract", {"a", "b"}, {"d", "spare"}, 2, 1, stateless<Subtract>()},
      {"NegLog", {"x"}, {"y", "spare"}, 1, 1, stateless<NegLog>()},
      {"Rsi", {"close", "extra"}, {"rsi", "spare"}, 1, 1, windowed<Rsi>(6)},
      {"TrueRange", {"high", "low", "close", "extra"}, {"tr", "spare"}, 3, 1, stateless<TrueRange>()},
      {"Atr", {"high", "low", "close", "extra"}, {"atr", "spare"}, 3, 1, windowed<Atr>(5)},
      {"Adx", {"high", "low", "close", "extra"}, {"adx", "plus_di", "minus_di"}, 3, 3, windowed<Adx>(5)},
      {"BollingerBands",
       {"close", "extra"},
       {"mid", "up", "low", "pb", "bw"},
       1,
       5,
       windowed<BollingerBands>(5, 1.5)},
      {"Macd",
       {"close", "extra"},
       {"macd", "signal", "hist"},
       1,
       3,
       [](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
         return std::make_unique<Macd>(Macd::create(std::move(inputs), std::move(outputs), 3, 7, 4).value());
       }},
      {"Stochastic",
       {"high", "low", "close", "extra"},
       {"k", "d"},
       3,
       2,
       windowed<Stochastic>(5, std::size_t{2}, std::size_t{4})},
      {"WilliamsR", {"high", "low", "close", "extra"}, {"w", "spare"}, 3, 1, windowed<WilliamsR>(5)},
      {"Cci", {"high", "low", "close", "extra"}, {"cci", "spare"}, 3, 1, windowed<Cci>(5)},
      {"Obv", {"close", "volume", "extra"}, {"obv", "spare"}, 2, 1, stateless<Obv>()},
      {"Vwap", {"high", "low", "close", "volume"}, {"vwap", "spare"}, 4, 1, windowed<Vwap>(5)},
      {"RollingMin", {"x", "extra"}, {"m", "spare"}, 1, 1, windowed<RollingMin>(5)},
      {"RollingMax", {"x", "extra"}, {"m", "spare"}, 1, 1, windowed<RollingMax>(5)},
      {"RollingStd", {"x", "extra"}, {"s", "spare"}, 1, 1, windowed<RollingStd>(5)},
      {"RollingCorrelation", {"x", "y", "extra"}, {"r", "spare"}, 2, 1, windowed<RollingCorrelation>(5)},
      {"RollingQuantile", {"x", "extra"}, {"q", "spare"}, 1, 1, windowed<RollingQuantile>(6, 0.3)},
      {"GarmanKlassVolatility",
       {"open", "high", "low", "close"},
       {"gk", "spare"},
       4,
       1,
       windowed<GarmanKlassVolatility>(4),
       {2, 0, 1, 3}},
      {"YangZhangVolatility",
       {"open", "high", "low", "close"},
       {"yz", "spare"},
       4,
       1,
       windowed<YangZhangVolatility>(4),
       {2, 0, 1, 3}},
      {"Lag", {"x"}, {"lagged", "spare"}, 1, 1, windowed<Lag>(3)},
      {"Ratio", {"a", "b"}, {"q", "spare"}, 2, 1, stateless<Ratio>()},
      // Its default threshold keeps thousands of weights: longer than the series.
      {"FracDiff",
       {"x"},
       {"fd", "spare"},
       1,
       1,
       [](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
         return std::make_unique<FracDiff>(
             FracDiff::create(std::move(inputs), 0.4, std::move(outputs), 1e-3, 10'000).value());
       }},
      {"Add", {"a", "b"}, {"s", "spare"}, 2, 1, stateless<Add>()},
      {"Multiply", {"a", "b"}, {"p", "spare"}, 2, 1, stateless<Multiply>()},
      {"Abs", {"x"}, {"a", "spare"}, 1, 1, stateless<Abs>()},
      {"Log", {"x"}, {"l", "spare"}, 1, 1, stateless<Log>()},
      {"Sign", {"x"}, {"s", "spare"}, 1, 1, stateless<Sign>()},
      {"Clip",
       {"x"},
       {"c", "spare"},
       1,
       1,
       [](Names inputs, Names outputs) -> std::unique_ptr<StreamingTransform> {
         return std::make_unique<Clip>(
             Clip::create(std::move(inputs), std::move(outputs), 150.0, 200.0).value());
       }},
      {"RollingSum", {"x", "extra"}, {"s", "spare"}, 1, 1, windowed<RollingSum>(5)},
      {"RollingMad", {"x", "extra"}, {"mad", "spare"}, 1, 1, windowed<RollingMad>(5)},
      {"RollingCovariance", {"x", "y", "extra"}, {"cov", "spare"}, 2, 1, windowed<RollingCovariance>(5)},
      {"RollingRank", {"x", "extra"}, {"rank", "spare"}, 1, 1, windowed<RollingRank>(5)},
      {"EwmMean", {"x", "extra"}, {"m", "spare"}, 1, 1, configured<EwmMean>(0.3, std::nullopt, std::nullopt)},
      {"EwmStd", {"x", "extra"}, {"sd", "spare"}, 1, 1, configured<EwmStd>(std::nullopt, 4.0, std::nullopt)},
      {"Aroon", {"high", "low", "extra"}, {"up", "down", "osc"}, 2, 3, windowed<Aroon>(5)},
      {"Keltner", {"high", "low", "close"}, {"m", "u", "l"}, 3, 3, windowed<Keltner>(5, 2.0), {0, 1, 3}},
      {"Supertrend",
       {"high", "low", "close"},
       {"line", "direction"},
       3,
       2,
       configured<Supertrend>(std::size_t{5}, 3.0),
       {0, 1, 3}},
      {"ParabolicSar", {"high", "low", "extra"}, {"sar", "spare"}, 2, 1, configured<ParabolicSar>(0.02, 0.2)},
      {"Ichimoku",
       {"high", "low", "extra"},
       {"t", "k", "a", "b"},
       2,
       4,
       configured<Ichimoku>(std::size_t{3}, std::size_t{5}, std::size_t{7})},
  };
}

// The listed transforms above are given extra names and chosen options; the
// rest of the catalog joins with a configuration read off its description:
// its documented inputs taken from the bar by name (high, low, open, close;
// any other name the next column unused), one name per output, each count
// without a default 5, each number without one 0.5, the rest at defaults.
std::vector<std::string> listed(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    const std::size_t comma = text.find(", ");
    out.emplace_back(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 2);
  }
  return out;
}

template <class F>
struct Parameters;
template <class R, class... A>
struct Parameters<R (*)(A...)> {
  using type = std::tuple<std::decay_t<A>...>;
};

template <class T>
Subject described() {
  using D = Describe<T>;
  static constexpr std::array<std::string_view, 4> columns{"high", "low", "open", "close"};
  Names inputs;
  std::vector<std::size_t> order;
  std::array<bool, 4> used{};
  for (const std::string& name : listed(D::reads)) {
    std::size_t at = std::find(columns.begin(), columns.end(), name) - columns.begin();
    if (at == columns.size() || used[at]) at = std::find(used.begin(), used.end(), false) - used.begin();
    if (at == columns.size()) at = 3;  // more inputs than columns: the close again
    used[at] = true;
    inputs.push_back(name);
    order.push_back(at);
  }
  Names outputs;
  if (D::writes == "1") {
    outputs = {"out"};
  } else {
    outputs = listed(D::writes);
  }
  using Args = typename Parameters<decltype(&T::create)>::type;
  auto make = [](Names in, Names out) -> std::unique_ptr<StreamingTransform> {
    auto args = [&]<std::size_t... I>(std::index_sequence<I...>) {
      const auto arg = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using A = std::tuple_element_t<K, Args>;
        constexpr Option<T> option = D::options[K];
        if constexpr (std::is_same_v<A, Names>) {
          return option.name == "inputs" ? in : out;
        } else if constexpr (std::is_same_v<A, std::size_t>) {
          return option.count_default.value_or(5);
        } else if constexpr (std::is_same_v<A, double>) {
          return option.number_default.value_or(0.5);
        } else if constexpr (std::is_same_v<A, std::optional<double>>) {
          return option.number_default;
        } else {
          static_assert(std::is_same_v<A, std::string>, "an option type the contract cannot make up");
          return in.front();
        }
      };
      return std::tuple{arg(std::integral_constant<std::size_t, I>{})...};
    }(std::make_index_sequence<std::tuple_size_v<Args>>{});
    auto made = std::apply([](auto&&... a) { return T::create(std::move(a)...); }, std::move(args));
    return std::make_unique<T>(std::move(made).value());
  };
  const std::size_t reads = inputs.size(), produces = outputs.size();
  return {std::string(T::snapshot_tag), std::move(inputs), std::move(outputs), reads, produces, make, order};
}

std::vector<Subject> catalog_subjects() {
  std::vector<Subject> all = subjects();
  for_every_class([&]<class T>() {
    if constexpr (std::is_base_of_v<StreamingTransform, T>) {
      const auto named = [](const Subject& s) { return s.name == T::snapshot_tag; };
      if (std::none_of(all.begin(), all.end(), named)) all.push_back(described<T>());
    }
  });
  return all;
}

// 300 SPY bars as (high, low, open, close): every transform reads a prefix
// of that. Bar 100 misses its first value and bar 200 has its high below
// its low, so the gap handling runs too; infinities, zeros and present NaNs
// (which arithmetic upstream can produce) pass through every slot.
const Bars& spy_bars() {
  static const Bars all = [] {
    const auto table = testing::Table::read(testing::fixture_path("spy_reference.csv"));
    Bars out = testing::bars_of({&table["high"], &table["low"], &table["open"], &table["close"]});
    out.resize(300);
    out[100][0] = std::nullopt;
    std::swap(out[200][0], out[200][1]);
    const double inf = std::numeric_limits<double>::infinity();
    out[60] = {inf, 1.0, inf, inf};
    out[61] = {0.0, 0.0, 0.0, 0.0};
    out[150] = {testing::NaN, testing::NaN, testing::NaN, testing::NaN};
    out[250][3] = -inf;
    return out;
  }();
  return all;
}

// The bars as the transform under test reads them.
std::vector<std::size_t> reading_order;
const Bars& bars() {
  static std::map<std::vector<std::size_t>, Bars> reordered;
  if (reading_order.empty()) return spy_bars();
  auto [at, added] = reordered.try_emplace(reading_order);
  if (added) {
    for (const auto& bar : spy_bars()) {
      auto& row = at->second.emplace_back();
      for (const std::size_t j : reading_order) row.push_back(bar[j]);
    }
  }
  return at->second;
}

Outputs feed(StreamingTransform& t, std::size_t from, std::size_t to) {
  Outputs out;
  for (std::size_t i = from; i < to; ++i) out.push_back(t.update(bars()[i]));
  return out;
}

::testing::AssertionResult same_outputs(const Outputs& a, const Outputs& b) {
  if (a.size() != b.size())
    return ::testing::AssertionFailure() << "lengths " << a.size() << " vs " << b.size();
  for (std::size_t t = 0; t < a.size(); ++t) {
    if (a[t].size() != b[t].size())
      return ::testing::AssertionFailure() << "bar " << t << ": result sizes differ";
    for (std::size_t i = 0; i < a[t].size(); ++i) {
      if (!testing::same_value(a[t][i], b[t][i])) {
        return ::testing::AssertionFailure()
               << "bar " << t << ", output " << i << ": " << a[t][i].value_or(-1e300) << " vs "
               << b[t][i].value_or(-1e300);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Bars [from, to) through update_columns, `chunk` bars a call, as UpdateResults.
Outputs feed_columns(StreamingTransform& t, std::size_t from, std::size_t to, std::size_t chunk,
                     std::size_t names) {
  const std::size_t width = bars()[0].size();
  Outputs out;
  for (std::size_t begin = from; begin < to; begin += chunk) {
    const std::size_t n = std::min(chunk, to - begin);
    std::vector<ColumnBuffer> ins(width, ColumnBuffer(n));
    std::vector<ColumnBuffer> outs(names, ColumnBuffer(n));
    std::vector<ColumnIn> in;
    std::vector<ColumnOut> sink;
    for (std::size_t j = 0; j < width; ++j) {
      for (std::size_t i = 0; i < n; ++i) ins[j].out().set(i, bars()[begin + i][j]);
      in.push_back(ins[j].in());
    }
    for (auto& o : outs) {
      // Stale validity and values must all be overwritten.
      std::fill_n(o.out().valid, n, std::uint8_t{7});
      std::fill_n(o.out().values, n, 42.0);
      sink.push_back(o.out());
    }
    t.update_columns(in, sink, n);
    for (std::size_t i = 0; i < n; ++i) {
      UpdateResult row;
      for (const auto& o : outs) row.push_back(o.in().at(i));
      for (const auto& o : outs) EXPECT_LE(o.in().valid[i], 1) << "bar " << begin + i;
      out.push_back(row);
    }
  }
  return out;
}

// A reference row padded with the absent values a pipeline gives the names
// beyond those the transform fills.
Outputs padded(Outputs rows, std::size_t names) {
  for (UpdateResult& row : rows) {
    while (row.size() < names) row.push_back(std::nullopt);
  }
  return rows;
}

class TransformContract : public ::testing::TestWithParam<Subject> {
 protected:
  void SetUp() override { reading_order = GetParam().order; }
  void TearDown() override { reading_order.clear(); }

  // What a transform built just now makes of the whole series.
  Outputs reference() const {
    auto t = GetParam().build();
    return feed(*t, 0, bars().size());
  }
};

TEST_P(TransformContract, ResetReturnsToTheStateAfterConstruction) {
  auto t = GetParam().build();
  feed(*t, 0, 150);
  t->reset();
  EXPECT_TRUE(same_outputs(feed(*t, 0, bars().size()), reference()));
}

TEST_P(TransformContract, FreshStartsCleanAndLeavesTheOriginalAlone) {
  const Outputs expected = reference();
  auto t = GetParam().build();
  feed(*t, 0, 150);
  auto copy = t->fresh();
  EXPECT_EQ(copy->input_names(), GetParam().inputs);
  EXPECT_EQ(copy->output_names(), GetParam().outputs);
  EXPECT_EQ(copy->warm_up_period(), t->warm_up_period());
  EXPECT_TRUE(same_outputs(feed(*copy, 0, bars().size()), expected));
  // The original carries on as if no copy had been taken.
  EXPECT_TRUE(same_outputs(feed(*t, 150, bars().size()), Outputs(expected.begin() + 150, expected.end())));
}

TEST_P(TransformContract, ATooShortBarFailsAndChangesNothing) {
  const Outputs expected = reference();
  auto t = GetParam().build();
  feed(*t, 0, 120);
  const auto& next = bars()[120];
  for (std::size_t n = 0; n < GetParam().reads; ++n) {
    EXPECT_THROW(t->update(std::span(next.data(), n)), InternalFailure) << n << " values";
  }
  EXPECT_TRUE(same_outputs(feed(*t, 120, bars().size()), Outputs(expected.begin() + 120, expected.end())));
}

TEST_P(TransformContract, ReportsItsNamesUnchanged) {
  const auto t = GetParam().build();
  EXPECT_EQ(t->input_names(), GetParam().inputs);
  EXPECT_EQ(t->output_names(), GetParam().outputs);
  // Copies: changing what was returned changes nothing inside.
  Names names = t->input_names();
  names.push_back("mutated");
  EXPECT_EQ(t->input_names(), GetParam().inputs);
}

TEST_P(TransformContract, ProducesAFixedNumberOfValues) {
  for (const UpdateResult& r : reference()) ASSERT_EQ(r.size(), GetParam().produces);
}

TEST_P(TransformContract, FirstValueComesRightAfterTheWarmUp) {
  const Outputs out = reference();
  const std::size_t warm_up = GetParam().build()->warm_up_period();
  // With several outputs arriving at different bars, the warm-up waits for
  // the last of them.
  const auto all_present = [](const UpdateResult& r) {
    return std::all_of(r.begin(), r.end(), [](const OptionalValue& v) { return v.has_value(); });
  };
  for (std::size_t t = 0; t < warm_up; ++t) EXPECT_FALSE(all_present(out[t])) << t;
  EXPECT_TRUE(all_present(out[warm_up]));
}

TEST_P(TransformContract, UpdateNeverAllocates) {
  auto t = GetParam().build();
  const Bars& all = bars();  // loaded outside the counted region
  std::size_t present = 0;
  {
    const testing::AllocationCounter allocations;
    // Warm-up, the wrap of every buffer, the gap, a reset and a second run.
    for (const auto& bar : all) present += t->update(bar)[0].has_value();
    t->reset();
    for (const auto& bar : all) present += t->update(bar)[0].has_value();
    EXPECT_EQ(allocations.count(), 0u);
  }
  EXPECT_GT(present, 0u);
}

// Cut anywhere (before the first bar, inside the warm-up, around the gap,
// at the end), a transform restored from its snapshot is the same object.
TEST_P(TransformContract, ARestoredSnapshotContinuesBitForBit) {
  const Outputs expected = reference();
  for (const std::size_t cut :
       {std::size_t{0}, std::size_t{2}, std::size_t{101}, std::size_t{201}, bars().size()}) {
    auto t = GetParam().build();
    feed(*t, 0, cut);
    const auto saved = snapshot_of(*t);
    auto restored = restore_transform(saved, GetParam().name);
    ASSERT_TRUE(restored) << cut << ": " << restored.error().display();
    auto& copy = **restored;
    EXPECT_EQ(snapshot_of(copy), saved) << cut;
    EXPECT_EQ(copy.input_names(), GetParam().inputs);
    EXPECT_EQ(copy.output_names(), GetParam().outputs);
    EXPECT_EQ(copy.warm_up_period(), t->warm_up_period());
    const Outputs rest(expected.begin() + static_cast<std::ptrdiff_t>(cut), expected.end());
    EXPECT_TRUE(same_outputs(feed(copy, cut, bars().size()), rest)) << "cut " << cut;
    EXPECT_TRUE(same_outputs(feed(*t, cut, bars().size()), rest)) << "original after cut " << cut;
    EXPECT_EQ(snapshot_of(copy), snapshot_of(*t)) << cut;
  }
}

// A peek returns what the update then returns, leaves the snapshot as it
// was, and allocates nothing.
TEST_P(TransformContract, PeekChangesNothingAndAgreesWithUpdate) {
  auto t = GetParam().build();
  for (std::size_t i = 0; i < bars().size(); ++i) {
    const auto before = snapshot_of(*t);
    UpdateResult peeked;
    {
      const testing::AllocationCounter allocations;
      peeked = t->peek(bars()[i]);
      ASSERT_EQ(allocations.count(), 0u) << "bar " << i;
    }
    ASSERT_EQ(snapshot_of(*t), before) << "bar " << i;
    ASSERT_TRUE(same_outputs({peeked}, {t->update(bars()[i])})) << "bar " << i;
  }
  for (std::size_t n = 0; n < GetParam().reads; ++n) {
    EXPECT_THROW(t->peek(std::span(bars()[0].data(), n)), InternalFailure) << n << " values";
  }
}

// Column by column in chunks of any size (one bar, shorter and longer than a
// window, the whole series) gives update's values bit for bit and leaves the
// state update leaves: bar-by-bar updates carry on from it unchanged, and
// so does a chunked run after bar-by-bar updates.
TEST_P(TransformContract, ColumnsAgreeWithUpdateAndLeaveItsState) {
  const std::size_t names = GetParam().outputs.size();
  const Outputs expected = padded(reference(), names);
  for (const std::size_t chunk : {1, 3, 5, 64, 1000}) {
    auto t = GetParam().build();
    EXPECT_TRUE(same_outputs(feed_columns(*t, 0, 170, chunk, names),
                             Outputs(expected.begin(), expected.begin() + 170)))
        << "chunk " << chunk;
    auto stepped = GetParam().build();
    feed(*stepped, 0, 170);
    EXPECT_EQ(snapshot_of(*t), snapshot_of(*stepped)) << "chunk " << chunk;
    EXPECT_TRUE(same_outputs(padded(feed(*t, 170, 230), names),
                             Outputs(expected.begin() + 170, expected.begin() + 230)))
        << "chunk " << chunk;
    EXPECT_TRUE(same_outputs(feed_columns(*t, 230, bars().size(), chunk, names),
                             Outputs(expected.begin() + 230, expected.end())))
        << "chunk " << chunk;
  }
}

// A universe of copies, one bar each at a time, joining late and skipping
// bars in their own rhythms: run side by side (peek, then update), each
// copy's values and state are those of updating it on its own. Forty
// copies, about two thirds taking each bar, fill the vector lanes and leave
// some over.
TEST_P(TransformContract, PeersSideBySideAgreeWithUpdatingEachAlone) {
  constexpr std::size_t kCopies = 40;
  const std::size_t names = GetParam().outputs.size();
  const std::size_t width = bars()[0].size();
  std::vector<std::unique_ptr<StreamingTransform>> alone;
  std::vector<std::unique_ptr<StreamingTransform>> peers;
  for (std::size_t k = 0; k < kCopies; ++k) {
    alone.push_back(GetParam().build());
    peers.push_back(GetParam().build());
  }
  std::vector<std::size_t> next(kCopies, 0);
  std::vector<ColumnBuffer> ins(width, ColumnBuffer(kCopies));
  std::vector<ColumnBuffer> peeked(names, ColumnBuffer(kCopies));
  std::vector<ColumnBuffer> updated(names, ColumnBuffer(kCopies));
  const auto columns = [](std::vector<ColumnBuffer>& buffers, auto side) {
    std::vector<decltype(side(buffers[0]))> made;
    for (auto& b : buffers) made.push_back(side(b));
    return made;
  };
  const auto in = columns(ins, [](ColumnBuffer& b) { return b.in(); });
  const auto peek_out = columns(peeked, [](ColumnBuffer& b) { return b.out(); });
  const auto update_out = columns(updated, [](ColumnBuffer& b) { return b.out(); });
  for (std::size_t round = 0; round < bars().size() + 3 * kCopies; ++round) {
    std::vector<StreamingTransform*> taking;
    std::vector<std::size_t> which;
    for (std::size_t k = 0; k < kCopies; ++k) {
      if (round < 3 * k || (round + k) % (k % 4 + 2) == 0 || next[k] == bars().size()) continue;
      for (std::size_t j = 0; j < width; ++j) ins[j].out().set(taking.size(), bars()[next[k]][j]);
      taking.push_back(peers[k].get());
      which.push_back(k);
    }
    if (taking.empty()) continue;
    taking[0]->update_across(taking, in, peek_out, false);
    taking[0]->update_across(taking, in, update_out, true);
    for (std::size_t i = 0; i < which.size(); ++i) {
      const std::size_t k = which[i];
      const Outputs expected = padded({alone[k]->update(bars()[next[k]])}, names);
      UpdateResult from_peek;
      UpdateResult from_update;
      for (std::size_t c = 0; c < names; ++c) {
        from_peek.push_back(peeked[c].in().at(i));
        from_update.push_back(updated[c].in().at(i));
      }
      ASSERT_TRUE(same_outputs({from_update}, expected)) << "copy " << k << ", bar " << next[k];
      ASSERT_TRUE(same_outputs({from_peek}, expected)) << "peek of copy " << k << ", bar " << next[k];
      ++next[k];
    }
  }
  for (std::size_t k = 0; k < kCopies; ++k) EXPECT_EQ(snapshot_of(*peers[k]), snapshot_of(*alone[k])) << k;
}

INSTANTIATE_TEST_SUITE_P(Transforms, TransformContract, ::testing::ValuesIn(catalog_subjects()),
                         [](const auto& info) { return info.param.name; });

// The counter itself must see allocations, or the test above proves nothing.
TEST(AllocationCounter, SeesAnAllocation) {
  const testing::AllocationCounter allocations;
  auto p = std::make_unique<int>(1);
  EXPECT_EQ(allocations.count(), 1u);
}

}  // namespace
}  // namespace vexal
