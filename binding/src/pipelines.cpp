#include "pipelines.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "extract.hpp"
#include "frame/args.hpp"
#include "frame/batch_args.hpp"
#include "frame/buffers.hpp"
#include "frame/class_face.hpp"
#include "frame/convert.hpp"
#include "frame/gc_pause.hpp"
#include "frame/instance.hpp"
#include "frame/snapshot_methods.hpp"
#include "internal_failure.hpp"
#include "pipeline/feature_pipeline.hpp"
#include "pipeline/target_pipeline.hpp"
#include "snapshot/registry.hpp"
#include "snapshot/writer.hpp"

namespace vexal::py {
namespace {

// Turns the user's objects into owned core objects, in order; the first
// object that cannot be converted raises and nothing is built.
template <class Core>
std::vector<std::unique_ptr<Core>> extract_each(const Objects& objects,
                                                std::unique_ptr<Core> (*extract)(PyObject*)) {
  std::vector<std::unique_ptr<Core>> owned;
  owned.reserve(objects.size());
  for (const Ref& obj : objects) owned.push_back(extract(obj.get()));
  return owned;
}

Ref none() { return Ref::borrow(Py_None); }

// Bars between two looks for a pending signal on the list paths: a look
// costs nothing beside a few thousand bars, and Ctrl-C waits for no more.
constexpr std::size_t kSignalStride = 4096;

void check_signals() {
  if (PyErr_CheckSignals() != 0) throw PythonError{};
}

// A byte another thread may set while a batch runs without the interpreter
// lock: the batch stops at its next look, between groups or chunks.
class StopFlag {
 public:
  explicit StopFlag(PyObject* o) {
    if (!held_.acquire(o, PyBUF_WRITABLE) || held_.view().len < 1) {
      PyErr_Clear();
      PyErr_SetString(PyExc_TypeError, "stop: must be a writable buffer of at least one byte");
      throw PythonError{};
    }
  }
  [[nodiscard]] bool raised() const {
    return std::atomic_ref<std::uint8_t>(*static_cast<std::uint8_t*>(held_.view().buf))
               .load(std::memory_order_relaxed) != 0;
  }

 private:
  HeldBuffer held_;
};

// -- FeaturePipeline ---------------------------------------------------------

constexpr Param kFeatureParams[] = {{"features"}, {"input_columns"}};
constexpr Param kValues[] = {{"values"}};
constexpr Signature kFeatureUpdate = {"update", kValues};
constexpr Param kData[] = {{"data"}};
constexpr Signature kRunResearch = {"run_research", kData};
constexpr Signature kFeaturePeek = {"peek", kValues};

std::vector<std::uint8_t> save_feature_pipeline(PyTypeObject*, const FeaturePipeline& p) {
  return snapshot_of(p);
}
FeaturePipeline load_feature_pipeline(PyTypeObject*, std::span<const std::uint8_t> bytes) {
  return unwrap(restore_feature_pipeline(bytes));
}
constexpr SnapshotCodec<FeaturePipeline> kFeatureCodec = {&save_feature_pipeline, &load_feature_pipeline};

FeaturePipeline make_feature_pipeline(const Args& args) {
  return args.apply<Objects, Names>([](Objects features, Names input_columns) {
    return unwrap(
        FeaturePipeline::create(extract_each(features, &extract_feature), std::move(input_columns)));
  });
}

// The bar is converted into inline storage: a live bar costs no heap
// allocation beyond the returned list.
Ref feature_update(FeaturePipeline& p, const Args& args) {
  const BarValues values = args.get<BarValues>(0);
  return to_python(unwrap(p.update(values.values())));
}

Ref feature_peek(FeaturePipeline& p, const Args& args) {
  const BarValues values = args.get<BarValues>(0);
  return to_python(unwrap(p.peek(values.values())));
}

// The whole dataset is converted before the pipeline is touched, so a bar
// that cannot be converted leaves the transforms as they were. Each bar's
// result goes straight into its row of the returned list.
Ref feature_run_research(FeaturePipeline& p, const Args& args) {
  // Every row of a 2-D array has the same width: a wrong one fails at the
  // first bar, after the reset, without converting (or holding) the rest.
  if (const auto shape = float_table_shape(args.raw(0)); shape && shape->rows > 0) {
    if (auto fits = p.check_bar_width(shape->columns); !fits) {
      p.reset();
      raise_core_error(fits.error());
    }
  }
  const BarTable bars = args.get<BarTable>(0);
  const GcPause building_rows;
  Ref rows = check_new(PyList_New(static_cast<Py_ssize_t>(bars.size())));
  unwrap(p.run_research(
      bars.size(), [&](std::size_t i) { return bars.bar(i); },
      [&](std::size_t i, std::span<const OptionalValue> row) {
        PyList_SET_ITEM(rows.get(), static_cast<Py_ssize_t>(i), to_python(row).release());
        // An interrupt leaves the state after this bar, the last good one.
        if ((i + 1) % kSignalStride == 0) check_signals();
      }));
  return rows;
}

constexpr Param kFeatureIntoParams[] = {
    {"data"}, {"out"}, {"threads", 1}, {"reset", std::nullopt, std::nullopt, true}};
constexpr Signature kFeatureInto = {"run_research_into", kFeatureIntoParams};

// Both tables (and the flag) are checked before the pipeline is touched.
// Each chunk is read, computed and written with the interpreter lock
// released; between chunks the lock is taken back for signals, so an
// interrupt leaves the state of the last complete chunk. The exclusive
// borrow spans the call.
Ref feature_run_research_into(FeaturePipeline& p, const Args& args) {
  const ColumnTable data = ColumnTable::input(args.raw(0), "data", p.input_columns());
  const ColumnTable out = ColumnTable::output(args.raw(1), "out", data.rows(), p.output_names());
  out.refuse_overlap(data);
  const std::size_t run_threads = thread_count(args, 2, "threads");
  const bool reset = args.get<bool>(3);
  auto run = reset ? p.start_columns(FeaturePipeline::kColumnChunk, run_threads)
                   : p.continue_columns(FeaturePipeline::kColumnChunk, run_threads);
  const std::size_t bars = data.rows();
  for (std::size_t begin = 0; begin < bars; begin += run.capacity()) {
    const std::size_t n = std::min(run.capacity(), bars - begin);
    without_gil([&] {
      data.read(begin, n, run.inputs(), run.inputs_read());
      run.run(n);
      out.write(begin, n, run.outputs());
    });
    if (PyErr_CheckSignals() != 0) throw PythonError{};
  }
  return none();
}

constexpr Param kGroupsParams[] = {{"data"}, {"out"}, {"starts"}, {"stop"}};
constexpr Signature kFeatureGroups = {"_run_groups", kGroupsParams};

// Rows of work between two looks at the stop flag and for signals: one
// chunk's worth, counting a group as a row more for its reset.
constexpr std::size_t kBatchLook = FeaturePipeline::kColumnChunk;

// Every group of a batch from a clean state, as run_research_into would run
// each alone, without a call per group: a panel of a million one-bar symbols
// costs a reset and a bar per symbol. Returns the groups completed, fewer
// than all when `stop` was set; the pipeline is left as its last group left
// it, so it is for a copy that serves a panel.
Ref feature_run_groups(FeaturePipeline& p, const Args& args) {
  const ColumnTable data = ColumnTable::input(args.raw(0), "data", p.input_columns());
  const ColumnTable out = ColumnTable::output(args.raw(1), "out", data.rows(), p.output_names());
  out.refuse_overlap(data);
  const GroupStarts starts(args.raw(2), data.rows());
  const StopFlag stop(args.raw(3));
  auto run = p.start_columns(FeaturePipeline::kColumnChunk, 1);
  std::size_t g = 0;
  std::size_t at = starts.begin(0);
  bool fresh = true;  // the pipeline has seen nothing of group g yet
  while (g < starts.groups() && !stop.raised()) {
    without_gil([&] {
      for (std::size_t budget = kBatchLook; g < starts.groups() && budget > 0;) {
        const std::size_t end = starts.end(g);
        if (at == end) {
          ++g;
          at = g < starts.groups() ? starts.begin(g) : at;
          fresh = false;
          continue;
        }
        if (!fresh && at == starts.begin(g)) p.reset();
        fresh = false;
        const std::size_t n = std::min(run.capacity(), end - at);
        data.read(at, n, run.inputs(), run.inputs_read());
        run.run(n);
        out.write(at, n, run.outputs());
        at += n;
        budget -= std::min(budget, n + 1);
      }
    });
    check_signals();
  }
  return size_to_python(g);
}

Ref feature_reset(FeaturePipeline& p) {
  p.reset();
  return none();
}

Ref feature_output_names(FeaturePipeline& p) { return to_python(p.output_names()); }
Ref feature_input_names(FeaturePipeline& p) { return to_python(p.input_names()); }
Ref feature_warm_up_period(FeaturePipeline& p) { return size_to_python(p.warm_up_period()); }
std::size_t feature_len(const FeaturePipeline& p) { return p.len(); }

const PyMethodDef feature_methods[] = {
    {"update", as_method(&method_fastcall<FeaturePipeline, ExclusiveBorrow, kFeatureUpdate, &feature_update>),
     METH_FASTCALL | METH_KEYWORDS,
     "update($self, values)\n--\n\nProcess one bar (live mode).\n\nArgs:\n    values: One float per input "
     "column. Use ``float('nan')`` for missing.\n\nReturns:\n    Flat list of output values matching "
     "``output_names()``."},
    {"peek", as_method(&method_fastcall<FeaturePipeline, ExclusiveBorrow, kFeaturePeek, &feature_peek>),
     METH_FASTCALL | METH_KEYWORDS,
     "peek($self, values)\n--\n\nThe result ``update(values)`` would return now, leaving every feature's "
     "state as it is.\n\nArgs:\n    values: One float per input column, as for ``update()``.\n\nReturns:\n"
     "    Flat list of output values matching ``output_names()``."},
    {"run_research",
     as_method(&method_fastcall<FeaturePipeline, ExclusiveBorrow, kRunResearch, &feature_run_research>),
     METH_FASTCALL | METH_KEYWORDS,
     "run_research($self, data)\n--\n\nProcess a full dataset bar by bar (research mode).\n\nArgs:\n    "
     "data: "
     "List of bars, each bar is a list of input values.\n\nReturns:\n    List of bars, each bar is a list of "
     "output values."},
    {"run_research_into",
     as_method(&method_fastcall<FeaturePipeline, ExclusiveBorrow, kFeatureInto, &feature_run_research_into>),
     METH_FASTCALL | METH_KEYWORDS,
     "run_research_into($self, data, out, threads=1, *, reset=True)\n--\n\nProcess a full dataset into an "
     "array (research mode).\n\n"
     "Resets the pipeline first and leaves it as ``run_research()`` does, so ``update()`` continues from the "
     "last bar.\nThe interpreter lock is released while computing.\n\nArgs:\n    data: 2-D buffer of shape "
     "(bars, input columns) in any order, or a sequence of 1-D buffers,\n          one per input column. "
     "float64, float32, integers or bool; NaN marks a missing value.\n    out: Writable float64 buffer of "
     "shape (bars, len(output_names())), or a sequence\n         of writable 1-D float64 buffers, one per "
     "output name. Missing values are written as NaN.\n    threads: Threads to spread the transforms over; "
     "transforms that do not "
     "read one another\n             run at once. The results are the same for any number.\n    reset: False "
     "continues from the pipeline's current state instead: calls over\n           consecutive slices of a "
     "series "
     "equal one call over the whole, bit for bit.\n\nReturns:\n    None."},
    {"_run_groups",
     as_method(&method_fastcall<FeaturePipeline, ExclusiveBorrow, kFeatureGroups, &feature_run_groups>),
     METH_FASTCALL | METH_KEYWORDS,
     "_run_groups($self, data, out, starts, stop)\n--\n\nEvery group of rows from a clean state, for "
     "vexal's panels."},
    {"reset", as_method(&method_noargs<FeaturePipeline, ExclusiveBorrow, kResetSig, &feature_reset>),
     METH_FASTCALL | METH_KEYWORDS, "reset($self)\n--\n\nReset all features (e.g. between CPCV splits)."},
    {"output_names",
     as_method(&method_noargs<FeaturePipeline, SharedBorrow, kOutputNamesSig, &feature_output_names>),
     METH_FASTCALL | METH_KEYWORDS, "output_names($self)\n--\n\nOutput column names in execution order."},
    {"input_names",
     as_method(&method_noargs<FeaturePipeline, SharedBorrow, kInputNamesSig, &feature_input_names>),
     METH_FASTCALL | METH_KEYWORDS,
     "input_names($self)\n--\n\nInput columns in the order expected by ``update()``."},
    {"warm_up_period",
     as_method(&method_noargs<FeaturePipeline, SharedBorrow, kWarmUpPeriodSig, &feature_warm_up_period>),
     METH_FASTCALL | METH_KEYWORDS,
     "warm_up_period($self)\n--\n\nMaximum warm-up period across all features."},
};

}  // namespace

PyTypeObject* feature_pipeline_type() {
  return FaceClass<FeaturePipeline, FeaturePipeline, kFeatureCodec>::type({
      "vexal.FeaturePipeline",
      "FeaturePipeline(features, input_columns)\n--\n\nOrchestrates features in DAG-resolved order.\n\n"
      "Features are resolved automatically \xe2\x80\x94 pass them in any order.\n"
      "Use ``run_research()`` for batch mode or ``update()`` for live mode.",
      kFeatureParams,
      &make_feature_pipeline,
      feature_methods,
      nullptr,
      &len_slot<FeaturePipeline, &feature_len>,
  });
}

namespace {

// -- TargetPipeline ----------------------------------------------------------

constexpr Param kTargetParams[] = {{"targets"}, {"input_columns"}};

std::vector<std::uint8_t> save_target_pipeline(PyTypeObject*, const TargetPipeline& p) {
  return snapshot_of(p);
}
TargetPipeline load_target_pipeline(PyTypeObject*, std::span<const std::uint8_t> bytes) {
  return unwrap(restore_target_pipeline(bytes));
}
constexpr SnapshotCodec<TargetPipeline> kTargetCodec = {&save_target_pipeline, &load_target_pipeline};

TargetPipeline make_target_pipeline(const Args& args) {
  return args.apply<Objects, Names>([](Objects targets, Names input_columns) {
    return unwrap(TargetPipeline::create(extract_each(targets, &extract_target), std::move(input_columns)));
  });
}

// Targets read views of the converted columns; nothing is copied per target.
Ref target_run_research(TargetPipeline& p, const Args& args) {
  // A 2-D array's column count is known before converting it.
  if (const auto shape = float_table_shape(args.raw(0))) unwrap(p.check_column_count(shape->rows));
  const SeriesList columns = args.get<SeriesList>(0);
  const std::vector<ColumnView> views(columns.begin(), columns.end());
  unwrap(p.check_column_count(views.size()));
  const bool even = !views.empty() && std::ranges::all_of(views, [&](ColumnView v) {
    return v.size() == views.front().size();
  });
  if (!even) {
    // Ragged columns are each target's own rule: one whole call.
    const std::vector<Series> labels = unwrap(p.run_research(views));
    return to_python(std::span<const Series>(labels));
  }
  // Columns of one length label a slice at a time, as the array path does,
  // with a look for signals between slices.
  const std::size_t bars = views.front().size();
  std::vector<Series> labels(p.output_names().size(), Series(bars));
  auto run = p.start_slices(bars);
  for (std::size_t begin = 0; begin < bars; begin += run.chunk()) {
    const auto slice = run.slice(begin);
    for (std::size_t j = 0; j < views.size(); ++j) {
      const ColumnOut into = run.inputs()[j];
      for (std::size_t i = 0; i < slice.read_count; ++i) into.set(i, views[j][slice.read_begin + i]);
    }
    run.run(slice);
    for (std::size_t k = 0; k < labels.size(); ++k) {
      for (std::size_t i = 0; i < slice.count; ++i) labels[k][slice.begin + i] = run.outputs()[k].at(i);
    }
    check_signals();
  }
  return to_python(std::span<const Series>(labels));
}

constexpr Param kTargetIntoParams[] = {{"columns"}, {"out"}};
constexpr Signature kTargetInto = {"run_research_into", kTargetIntoParams};

// Labels a chunk of bars at a time from the input rows around it (the
// look-back before, the forward period after), lock released as for
// features. A target pipeline never changes, so nothing is left half-done
// by an interrupt but the rows of `out` not reached yet.
Ref target_run_research_into(TargetPipeline& p, const Args& args) {
  const ColumnTable columns = ColumnTable::input(args.raw(0), "columns", p.input_columns());
  const ColumnTable out = ColumnTable::output(args.raw(1), "out", columns.rows(), p.output_names());
  out.refuse_overlap(columns);
  const std::size_t bars = columns.rows();
  auto run = p.start_slices(bars);
  for (std::size_t begin = 0; begin < bars; begin += run.chunk()) {
    const auto slice = run.slice(begin);
    without_gil([&] {
      columns.read(slice.read_begin, slice.read_count, run.inputs());
      run.run(slice);
      out.write(slice.begin, slice.count, run.outputs());
    });
    if (PyErr_CheckSignals() != 0) throw PythonError{};
  }
  return none();
}

constexpr Signature kTargetGroups = {"_run_groups", kGroupsParams};

// Every group of a batch labelled on its own, as run_research_into would
// label each alone. Groups shorter than a chunk are read together, many to a
// buffer, and labelled one by one from it; a longer group runs in slices of
// its own. Returns the groups completed, fewer than all when `stop` was set.
Ref target_run_groups(TargetPipeline& p, const Args& args) {
  const ColumnTable columns = ColumnTable::input(args.raw(0), "columns", p.input_columns());
  const ColumnTable out = ColumnTable::output(args.raw(1), "out", columns.rows(), p.output_names());
  out.refuse_overlap(columns);
  const GroupStarts starts(args.raw(2), columns.rows());
  const StopFlag stop(args.raw(3));
  constexpr std::size_t kPack = 4096;
  std::vector<ColumnBuffer> in_buffers;
  std::vector<ColumnBuffer> label_buffers;
  for (std::size_t j = 0; j < p.input_columns().size(); ++j) in_buffers.emplace_back(kPack);
  for (std::size_t k = 0; k < p.output_names().size(); ++k) label_buffers.emplace_back(kPack);
  std::vector<ColumnOut> inputs;
  std::vector<ColumnIn> labels;
  for (auto& c : in_buffers) inputs.push_back(c.out());
  for (auto& c : label_buffers) labels.push_back(c.in());
  std::vector<ColumnIn> views(inputs.size());
  std::vector<ColumnOut> sinks(labels.size());

  std::size_t g = 0;
  while (g < starts.groups() && !stop.raised()) {
    const std::size_t first = starts.begin(g);
    if (starts.end(g) - first > kPack) {
      // A long group: slices of its own, a look between any two.
      auto run = p.start_slices(starts.end(g) - first);
      for (std::size_t begin = 0; begin < starts.end(g) - first; begin += run.chunk()) {
        if (begin > 0 && stop.raised()) return size_to_python(g);
        const auto slice = run.slice(begin);
        without_gil([&] {
          columns.read(first + slice.read_begin, slice.read_count, run.inputs());
          run.run(slice);
          out.write(first + slice.begin, slice.count, run.outputs());
        });
        check_signals();
      }
      ++g;
      continue;
    }
    // Short groups: as many whole ones as the buffer holds, read at once.
    std::size_t last = g;
    while (last < starts.groups() && starts.end(last) - first <= kPack) ++last;
    const std::size_t rows = starts.end(last - 1) - first;
    without_gil([&] {
      columns.read(first, rows, inputs);
      for (std::size_t h = g; h < last; ++h) {
        const std::size_t offset = starts.begin(h) - first;
        const std::size_t count = starts.end(h) - starts.begin(h);
        if (count == 0) continue;
        for (std::size_t j = 0; j < views.size(); ++j)
          views[j] = {inputs[j].values + offset, inputs[j].valid + offset};
        for (std::size_t k = 0; k < sinks.size(); ++k)
          sinks[k] = {label_buffers[k].out().values + offset, label_buffers[k].out().valid + offset};
        if (!p.run_research_into(views, count, 0, sinks, count))
          throw InternalFailure("target groups: the run's own columns were refused");
      }
      out.write(first, rows, labels);
    });
    g = last;
    check_signals();
  }
  return size_to_python(g);
}

Ref target_output_names(TargetPipeline& p) { return to_python(p.output_names()); }
Ref target_input_names(TargetPipeline& p) { return to_python(p.input_names()); }
Ref target_forward_period(TargetPipeline& p) { return size_to_python(p.forward_period()); }
std::size_t target_len(const TargetPipeline& p) { return p.len(); }

// A target pipeline never changes after construction, so every call
// shares the object.
const PyMethodDef target_methods[] = {
    {"run_research",
     as_method(&method_fastcall<TargetPipeline, SharedBorrow, kRunResearch, &target_run_research>),
     METH_FASTCALL | METH_KEYWORDS,
     "run_research($self, data)\n--\n\nRun all targets over the full dataset (research mode).\n\nArgs:\n    "
     "data: One list per input column, each containing one float per bar.\n          Use ``float('nan')`` "
     "for "
     "missing values.\n\nReturns:\n    One list per output column, in ``output_names()`` order."},
    {"run_research_into",
     as_method(&method_fastcall<TargetPipeline, SharedBorrow, kTargetInto, &target_run_research_into>),
     METH_FASTCALL | METH_KEYWORDS,
     "run_research_into($self, columns, out)\n--\n\nRun all targets over the full dataset into an array "
     "(research mode).\n\nThe interpreter lock is released while computing.\n\nArgs:\n    columns: 2-D "
     "buffer of shape (bars, input columns) in any order, or a sequence of\n             1-D buffers, one "
     "per "
     "input column. float64, float32, integers or bool;\n             NaN marks a missing value.\n    out: "
     "Writable float64 buffer of shape (bars, len(output_names())), or a sequence\n         of writable 1-D "
     "float64 buffers, one per output name. Missing values are written as NaN.\n\nReturns:\n    None."},
    {"_run_groups",
     as_method(&method_fastcall<TargetPipeline, SharedBorrow, kTargetGroups, &target_run_groups>),
     METH_FASTCALL | METH_KEYWORDS,
     "_run_groups($self, columns, out, starts, stop)\n--\n\nEvery group of rows labelled on its own, for "
     "vexal's panels."},
    {"output_names",
     as_method(&method_noargs<TargetPipeline, SharedBorrow, kOutputNamesSig, &target_output_names>),
     METH_FASTCALL | METH_KEYWORDS, "output_names($self)\n--\n\nOutput column names, in order."},
    {"input_names",
     as_method(&method_noargs<TargetPipeline, SharedBorrow, kInputNamesSig, &target_input_names>),
     METH_FASTCALL | METH_KEYWORDS,
     "input_names($self)\n--\n\nInput columns in the order expected by ``run_research()``."},
    {"forward_period",
     as_method(&method_noargs<TargetPipeline, SharedBorrow, kForwardPeriodSig, &target_forward_period>),
     METH_FASTCALL | METH_KEYWORDS,
     "forward_period($self)\n--\n\nMaximum forward period across all targets."},
};

}  // namespace

PyTypeObject* target_pipeline_type() {
  return FaceClass<TargetPipeline, TargetPipeline, kTargetCodec>::type({
      "vexal.TargetPipeline",
      "TargetPipeline(targets, input_columns)\n--\n\nOrchestrates multiple targets over a full dataset.\n\n"
      "Targets are stateless and independent \xe2\x80\x94 no DAG needed.\n"
      "Use ``run_research()`` to label an entire dataset at once.",
      kTargetParams,
      &make_target_pipeline,
      target_methods,
      nullptr,
      &len_slot<TargetPipeline, &target_len>,
  });
}

}  // namespace vexal::py
