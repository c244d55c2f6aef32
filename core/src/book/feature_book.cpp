#include "book/feature_book.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "internal_failure.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"
#include "text/list_form.hpp"
#include "transform_base.hpp"

namespace vexal {
namespace {

// An independent copy of a pipeline, its state included: what its snapshot
// would restore, so the copy continues bit for bit.
std::expected<FeaturePipeline, VexalError> copy_of(const FeaturePipeline& p) {
  return restore_feature_pipeline(snapshot_of(p));
}

std::optional<std::size_t> position(const Names& names, std::string_view name) {
  const auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) return std::nullopt;
  return static_cast<std::size_t>(it - names.begin());
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::expected<FeatureBook, VexalError> FeatureBook::create(const FeaturePipeline& prototype, Names symbols,
                                                           std::vector<CrossFeature> cross) {
  auto fresh = copy_of(prototype);
  if (!fresh) return std::unexpected(std::move(fresh.error()));
  fresh->reset();
  Names outputs = fresh->output_names();
  std::vector<Source> sources;
  std::vector<std::optional<std::size_t>> group_columns;
  for (const CrossFeature& c : cross) {
    const std::string what = std::string(cross_kind_name(c.kind)) + " " + quoted_name(c.input);
    if (auto at = position(fresh->input_columns(), c.input)) {
      sources.push_back({true, *at});
    } else if (auto out = position(fresh->output_names(), c.input)) {
      sources.push_back({false, *out});
    } else {
      return invalid_input(what + ": the pipeline has no input or output named " + quoted_name(c.input));
    }
    if (position(outputs, c.output) || position(fresh->input_columns(), c.output)) {
      return invalid_input(what + ": output " + quoted_name(c.output) + " is already a column of the book");
    }
    outputs.push_back(c.output);
    if (c.groups) {
      const auto at = position(fresh->input_columns(), *c.groups);
      if (!at) {
        return invalid_input(what + ": groups " + quoted_name(*c.groups) +
                             " must be one of the pipeline's input columns");
      }
      group_columns.push_back(*at);
    } else {
      group_columns.push_back(std::nullopt);
    }
  }
  FeatureBook book(std::move(*fresh), std::move(cross), std::move(outputs), std::move(sources),
                   std::move(group_columns));
  book.configuration_ = snapshot_of(book.prototype_);
  for (std::string& s : symbols) {
    if (auto added = book.add(std::move(s)); !added) return std::unexpected(std::move(added.error()));
  }
  return book;
}

std::expected<void, VexalError> FeatureBook::add(std::string symbol, const FeaturePipeline* pipeline) {
  if (symbol.empty()) return invalid_input("symbol names must not be empty");
  if (index_.contains(symbol))
    return invalid_input("symbol " + quoted_name(symbol) + " is already in the book");
  if (pipeline != nullptr && (pipeline->input_columns() != input_columns() ||
                              pipeline->output_names() != prototype_.output_names())) {
    return invalid_input("the pipeline for " + quoted_name(symbol) + " reads " +
                         list_form(pipeline->input_columns()) + " and writes " +
                         list_form(pipeline->output_names()) + "; the book's read " +
                         list_form(input_columns()) + " and write " + list_form(prototype_.output_names()));
  }
  auto copy = copy_of(pipeline != nullptr ? *pipeline : prototype_);
  if (!copy) return std::unexpected(std::move(copy.error()));
  bool alike = true;
  if (pipeline != nullptr) {
    // Alike when a fresh copy of it is the prototype, byte for byte.
    auto fresh = copy_of(*copy);
    if (!fresh) return std::unexpected(std::move(fresh.error()));
    fresh->reset();
    alike = snapshot_of(*fresh) == configuration_;
  }
  index_.emplace(symbol, symbols_.size());
  symbols_.push_back(std::move(symbol));
  pipelines_.push_back(std::move(*copy));
  alike_.push_back(alike ? 1 : 0);
  slices_.drop();
  return {};
}

std::expected<void, VexalError> FeatureBook::remove(std::string_view symbol) {
  const auto it = index_.find(std::string(symbol));
  if (it == index_.end()) return invalid_input("symbol " + quoted_name(symbol) + " is not in the book");
  const std::size_t at = it->second;
  index_.erase(it);
  symbols_.erase(symbols_.begin() + static_cast<std::ptrdiff_t>(at));
  pipelines_.erase(pipelines_.begin() + static_cast<std::ptrdiff_t>(at));
  alike_.erase(alike_.begin() + static_cast<std::ptrdiff_t>(at));
  slices_.drop();
  for (auto& [name, i] : index_) {
    if (i > at) --i;
  }
  return {};
}

std::expected<FeaturePipeline, VexalError> FeatureBook::pipeline(std::string_view symbol) const {
  const auto it = index_.find(std::string(symbol));
  if (it == index_.end()) return invalid_input("symbol " + quoted_name(symbol) + " is not in the book");
  return copy_of(pipelines_[it->second]);
}

void FeatureBook::reset() {
  for (FeaturePipeline& p : pipelines_) p.reset();
}

std::expected<void, VexalError> FeatureBook::update(std::span<const ColumnIn> in,
                                                    std::span<const std::uint8_t> present,
                                                    std::span<const ColumnOut> out, std::size_t threads) {
  return step(in, present, out, threads, true);
}

std::expected<void, VexalError> FeatureBook::peek(std::span<const ColumnIn> in,
                                                  std::span<const std::uint8_t> present,
                                                  std::span<const ColumnOut> out, std::size_t threads) {
  return step(in, present, out, threads, false);
}

std::expected<void, VexalError> FeatureBook::check_bar(std::span<const ColumnIn> in,
                                                       std::span<const std::uint8_t> present,
                                                       std::span<const ColumnOut> out) {
  if (in.size() != input_columns().size()) {
    return invalid_input("bars must have one column per input column: expected " +
                         std::to_string(input_columns().size()) + ", got " + std::to_string(in.size()));
  }
  if (out.size() != output_names_.size())
    throw InternalFailure("a book's output has one column per output name");
  if (!present.empty() && present.size() != size()) {
    return invalid_input("present must have one flag per symbol: expected " + std::to_string(size()) +
                         ", got " + std::to_string(present.size()));
  }
  // Group codes are read, and refused, before any symbol moves.
  group_codes_.assign(size() * cross_.size(), 0);
  taking_part_.assign(size() * cross_.size(), 0);
  for (std::size_t c = 0; c < cross_.size(); ++c) {
    for (std::size_t s = 0; s < size(); ++s) {
      const bool here = present.empty() || present[s] != 0;
      std::uint8_t& part = taking_part_[c * size() + s];
      part = here ? 1 : 0;
      if (!here || !group_columns_[c]) continue;
      const OptionalValue g = in[*group_columns_[c]].at(s);
      auto code = group_code(g ? *g : kNaN, *cross_[c].groups);
      if (!code) return std::unexpected(std::move(code.error()));
      if (!*code) {
        part = 0;
      } else {
        group_codes_[c * size() + s] = **code;
      }
    }
  }
  return {};
}

void FeatureBook::run_each(std::span<const std::size_t> symbols, std::span<const ColumnIn> in,
                           std::span<const ColumnOut> out, bool commit) {
  const std::size_t width = in.size();
  const std::size_t produced = prototype_.output_names().size();
  // A bar of a handful of values: on the stack, so a bar allocates nothing.
  constexpr std::size_t kInline = 16;
  OptionalValue inline_bar[kInline];
  std::vector<OptionalValue> heap_bar(width > kInline ? width : 0);
  const std::span<OptionalValue> bar(width > kInline ? heap_bar.data() : inline_bar, width);
  for (const std::size_t s : symbols) {
    for (std::size_t j = 0; j < width; ++j) bar[j] = in[j].at(s);
    // The width was checked for the whole book, so neither call can fail.
    auto row = commit ? pipelines_[s].update(bar) : pipelines_[s].peek(bar);
    if (!row) throw InternalFailure("a checked bar was refused");
    for (std::size_t k = 0; k < produced; ++k) out[k].set(s, (*row)[k]);
  }
}

void FeatureBook::run_alike(std::span<const std::size_t> symbols, std::size_t w, std::span<const ColumnIn> in,
                            std::span<const ColumnOut> out, bool commit) {
  Slice& slice = slices_.each[w];
  const std::size_t n = symbols.size();
  FeaturePipeline::ColumnRun& run = slice.run;
  for (std::size_t j = 0; j < in.size(); ++j) {
    if (run.inputs_read()[j] == 0) continue;
    const ColumnOut into = run.inputs()[j];
    for (std::size_t i = 0; i < n; ++i) into.set(i, in[j].at(symbols[i]));
  }
  // A run of consecutive symbols (every one present) reads the book's lists
  // in place; otherwise the present ones are picked out.
  const bool consecutive = n == 0 || symbols.back() - symbols.front() + 1 == n;
  for (std::size_t step = 0; step < slice.peers.size(); ++step) {
    const std::span<StreamingTransform* const> every = slices_.by_step[step];
    if (consecutive) {
      slice.peer_lists[step] = every.subspan(n == 0 ? 0 : symbols.front(), n);
      continue;
    }
    std::vector<StreamingTransform*>& peers = slice.peers[step];
    peers.resize(n);  // within the capacity reserved for the slice
    for (std::size_t i = 0; i < n; ++i) peers[i] = every[symbols[i]];
    slice.peer_lists[step] = peers;
  }
  run.run_across(n, slice.peer_lists, commit);
  for (std::size_t k = 0; k < run.outputs().size(); ++k) {
    const ColumnIn from = run.outputs()[k];
    for (std::size_t i = 0; i < n; ++i) out[k].set(symbols[i], from.at(i));
  }
}

void FeatureBook::run_slice(std::size_t w, std::span<const ColumnIn> in, std::span<const ColumnOut> out,
                            bool commit) {
  const std::size_t slices = slices_.each.size();
  const std::size_t per = (active_.size() + slices - 1) / slices;
  const std::size_t begin = std::min(active_.size(), w * per);
  const std::size_t end = std::min(active_.size(), begin + per);
  const std::span<const std::size_t> symbols(active_.data() + begin, end - begin);
  if (slices_.alike) {
    run_alike(symbols, w, in, out, commit);
  } else {
    run_each(symbols, in, out, commit);
  }
}

void FeatureBook::prepare_slices(std::size_t slices) {
  if (slices_.symbols == size() && slices_.each.size() == slices) return;
  slices_.drop();
  const std::size_t per = (size() + slices - 1) / slices;
  const std::size_t steps = prototype_.len();
  for (std::size_t w = 0; w < slices; ++w) {
    Slice slice{prototype_.across(per), std::vector<std::vector<StreamingTransform*>>(steps),
                std::vector<std::span<StreamingTransform* const>>(steps)};
    for (auto& peers : slice.peers) peers.reserve(per);
    slices_.each.push_back(std::move(slice));
  }
  if (slices > 1)
    slices_.workers = std::make_unique<StepWorkers>(std::vector<std::vector<std::size_t>>(slices), slices);
  slices_.alike = std::find(alike_.begin(), alike_.end(), std::uint8_t{0}) == alike_.end();
  slices_.by_step.assign(steps, std::vector<StreamingTransform*>(size()));
  for (std::size_t step = 0; step < steps; ++step) {
    for (std::size_t s = 0; s < size(); ++s) slices_.by_step[step][s] = &pipelines_[s].transform_at(step);
  }
  slices_.symbols = size();
}

void FeatureBook::run_cross(std::span<const ColumnIn> in, std::span<const std::uint8_t> present,
                            std::span<const ColumnOut> out) {
  const std::size_t n = size();
  const std::size_t produced = prototype_.output_names().size();
  cross_in_.resize(n);
  cross_out_.resize(n);
  for (std::size_t c = 0; c < cross_.size(); ++c) {
    const Source& src = sources_[c];
    // An input column as the bar gave it; an output as the book just wrote it.
    for (std::size_t s = 0; s < n; ++s) {
      const OptionalValue v =
          src.from_input ? in[src.at].at(s) : ColumnIn{out[src.at].values, out[src.at].valid}.at(s);
      cross_in_[s] = v ? *v : kNaN;
    }
    const std::span<const std::int64_t> groups =
        group_columns_[c] ? std::span<const std::int64_t>(group_codes_.data() + c * n, n)
                          : std::span<const std::int64_t>();
    cross_section(cross_[c].kind, cross_in_, groups, std::span(taking_part_.data() + c * n, n), cross_out_,
                  scratch_);
    const ColumnOut& dest = out[produced + c];
    for (std::size_t s = 0; s < n; ++s) {
      if (std::isnan(cross_out_[s])) {
        dest.set_absent(s);
      } else {
        dest.set(s, cross_out_[s]);
      }
    }
  }
  (void)present;
}

std::expected<void, VexalError> FeatureBook::step(std::span<const ColumnIn> in,
                                                  std::span<const std::uint8_t> present,
                                                  std::span<const ColumnOut> out, std::size_t threads,
                                                  bool commit) {
  if (auto checked = check_bar(in, present, out); !checked) return checked;
  const std::size_t n = size();
  const std::size_t produced = prototype_.output_names().size();
  active_.clear();
  for (std::size_t s = 0; s < n; ++s) {
    if (present.empty() || present[s] != 0) {
      active_.push_back(s);
    } else {
      for (std::size_t k = 0; k < produced; ++k) out[k].set_absent(s);
    }
  }
  // Contiguous slices of the symbols: each pipeline is touched by one thread.
  const std::size_t slices = std::max<std::size_t>(1, std::min(threads, n));
  prepare_slices(slices);
  if (slices == 1) {
    run_slice(0, in, out, commit);
  } else {
    struct Bar {
      std::span<const ColumnIn> in;
      std::span<const ColumnOut> out;
      bool commit;
    } bar{in, out, commit};
    // Two pointers: held inside the function object, with no allocation.
    slices_.workers->round([this, &bar](std::size_t w) { run_slice(w, bar.in, bar.out, bar.commit); });
  }
  run_cross(in, present, out);
  return {};
}

void FeatureBook::save(SnapshotWriter& out) const {
  out.text(snapshot_tag);
  prototype_.save(out);
  out.size(cross_.size());
  for (const CrossFeature& c : cross_) {
    out.text(cross_kind_name(c.kind));
    out.text(c.input);
    out.text(c.output);
    out.u8(c.groups ? 1 : 0);
    if (c.groups) out.text(*c.groups);
  }
  out.size(symbols_.size());
  for (std::size_t s = 0; s < symbols_.size(); ++s) {
    out.text(symbols_[s]);
    pipelines_[s].save(out);
  }
}

std::expected<FeatureBook, VexalError> FeatureBook::load(SnapshotReader& in) {
  const auto nested_pipeline = [&]() -> std::expected<FeaturePipeline, VexalError> {
    const std::string tag = in.text("pipeline tag");
    if (in.ok() && tag != FeaturePipeline::snapshot_tag) {
      in.fail("a FeatureBook holds a " + quoted_name(tag) + " where a FeaturePipeline belongs");
    }
    if (!in.ok()) return in.failure();
    return FeaturePipeline::load(in);
  };
  auto prototype = nested_pipeline();
  if (!prototype) return std::unexpected(std::move(prototype.error()));
  std::vector<CrossFeature> cross(in.count("cross features", 13));
  for (CrossFeature& c : cross) {
    const std::string kind = in.text("cross feature kind");
    c.input = in.text("cross feature input");
    c.output = in.text("cross feature output");
    const std::uint8_t grouped = in.u8("cross feature groups flag");
    if (grouped > 1) in.fail("a cross feature's groups flag must be 0 or 1");
    if (grouped == 1) c.groups = in.text("cross feature groups");
    if (!in.ok()) return in.failure();
    const auto k = cross_kind_named(kind);
    if (!k) {
      in.fail("unknown cross feature " + quoted_name(kind));
      return in.failure();
    }
    c.kind = *k;
  }
  auto made = in.built(snapshot_tag, create(*prototype, {}, std::move(cross)));
  if (!made) return in.failure();
  const std::size_t count = in.count("symbols", 4);
  for (std::size_t s = 0; s < count && in.ok(); ++s) {
    std::string name = in.text("symbol");
    if (!in.ok()) return in.failure();
    auto p = nested_pipeline();
    if (!p) return std::unexpected(std::move(p.error()));
    if (auto added = made->add(name, &*p); !added) {
      in.fail("symbol " + quoted_name(name) + " cannot join the book: " + added.error().display());
      return in.failure();
    }
  }
  return in.result(std::move(*made));
}

}  // namespace vexal
