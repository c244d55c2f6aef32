#pragma once

#include <cmath>
#include <initializer_list>
#include <vector>

#include "traits.hpp"

namespace vexal::testing {

// Feeds one value per bar (NaN meaning absent) and collects the first output.
inline Series run(StreamingTransform& t, std::initializer_list<double> xs) {
  Series out;
  for (double x : xs) {
    const OptionalValue v = std::isnan(x) ? OptionalValue() : OptionalValue(x);
    out.push_back(t.update(std::span(&v, 1)).at(0));
  }
  return out;
}

inline OptionalValue bar(double x) { return std::isnan(x) ? OptionalValue() : OptionalValue(x); }

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace vexal::testing

namespace vexal {
using testing::run;
}

// Real-data fixtures, bar feeding and exact comparisons.

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vexal::testing {

inline std::filesystem::path fixture_path(std::string_view name) {
  return std::filesystem::path(__FILE__).parent_path() / "fixtures" / name;
}

// A CSV of floats under a header row, read by column name; "nan" (or any
// NaN) marks a missing value.
class Table {
 public:
  static Table read(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    Table table;
    std::string line;
    std::getline(in, line);
    for (std::string field : split(line)) table.names_.push_back(field);
    table.columns_.resize(table.names_.size());
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      const std::vector<std::string> fields = split(line);
      if (fields.size() != table.names_.size()) throw std::runtime_error("ragged row in " + path.string());
      for (std::size_t i = 0; i < fields.size(); ++i) table.columns_[i].push_back(std::stod(fields[i]));
    }
    return table;
  }

  [[nodiscard]] const std::vector<double>& operator[](std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return columns_[i];
    }
    throw std::runtime_error("no column " + std::string(name));
  }
  [[nodiscard]] std::size_t rows() const { return columns_.empty() ? 0 : columns_[0].size(); }

 private:
  static std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, ',')) fields.push_back(field);
    return fields;
  }

  std::vector<std::string> names_;
  std::vector<std::vector<double>> columns_;
};

// Bars built from columns: bar t holds columns[0][t], columns[1][t], ...
inline std::vector<std::vector<OptionalValue>> bars_of(
    std::initializer_list<const std::vector<double>*> columns) {
  const std::size_t n = (*columns.begin())->size();
  std::vector<std::vector<OptionalValue>> bars(n);
  for (std::size_t t = 0; t < n; ++t) {
    for (const std::vector<double>* column : columns) bars[t].push_back(bar((*column)[t]));
  }
  return bars;
}

// Feeds every bar and collects output `index` of each update.
inline Series run_bars(StreamingTransform& t, const std::vector<std::vector<OptionalValue>>& bars,
                       std::size_t index = 0) {
  Series out;
  out.reserve(bars.size());
  for (const auto& b : bars) out.push_back(t.update(b).at(index));
  return out;
}

// Identical down to the bit (so -0.0 differs from 0.0), or both absent.
inline bool same_value(const OptionalValue& a, const OptionalValue& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::bit_cast<std::uint64_t>(*a) == std::bit_cast<std::uint64_t>(*b);
}

// Representable doubles between a and b (0 when equal); for finite values.
inline std::uint64_t ulp_distance(double a, double b) {
  const auto ordered = [](double x) {
    const auto bits = std::bit_cast<std::int64_t>(x);
    return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
  };
  const std::int64_t ia = ordered(a);
  const std::int64_t ib = ordered(b);
  return ia > ib ? static_cast<std::uint64_t>(ia) - static_cast<std::uint64_t>(ib)
                 : static_cast<std::uint64_t>(ib) - static_cast<std::uint64_t>(ia);
}

}  // namespace vexal::testing
