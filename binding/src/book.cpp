#include "book.hpp"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book/cross_section.hpp"
#include "book/feature_book.hpp"
#include "frame/args.hpp"
#include "frame/batch_args.hpp"
#include "frame/buffers.hpp"
#include "frame/class_face.hpp"
#include "frame/convert.hpp"
#include "frame/instance.hpp"
#include "frame/snapshot_methods.hpp"
#include "pipelines.hpp"
#include "snapshot/reader.hpp"
#include "snapshot/writer.hpp"
#include "text/list_form.hpp"

namespace vexal::py {
namespace {

// The book and the columns a bar passes through, kept between bars so a
// bar allocates nothing beyond the array it returns.
struct BookState {
  FeatureBook book;
  std::vector<ColumnBuffer> in;
  std::vector<ColumnBuffer> out;
  std::vector<ColumnIn> in_views;
  std::vector<ColumnOut> in_sinks;
  std::vector<ColumnOut> out_sinks;
  std::vector<ColumnIn> out_views;
  std::vector<std::uint8_t> present;

  explicit BookState(FeatureBook b) : book(std::move(b)) {}

  // Room for one bar of the current universe.
  void fit() {
    const std::size_t n = book.size();
    const auto fit_columns = [&](std::vector<ColumnBuffer>& cols, std::size_t count) {
      if (cols.size() != count || (count > 0 && cols[0].capacity() < n)) cols.assign(count, ColumnBuffer(n));
    };
    fit_columns(in, book.input_columns().size());
    fit_columns(out, book.output_names().size());
    in_views.clear();
    in_sinks.clear();
    out_sinks.clear();
    out_views.clear();
    for (ColumnBuffer& c : in) {
      in_views.push_back(c.in());
      in_sinks.push_back(c.out());
    }
    for (ColumnBuffer& c : out) {
      out_sinks.push_back(c.out());
      out_views.push_back(c.in());
    }
  }
};

Ref none() { return Ref::borrow(Py_None); }

PyObject* numpy() {
  static PyObject* module = check_new(PyImport_ImportModule("numpy")).release();
  return module;
}

// A (symbols x outputs) float64 array for the book to write into.
Ref new_output(const FeatureBook& book) {
  Ref shape = check_new(Py_BuildValue("(nn)", static_cast<Py_ssize_t>(book.size()),
                                      static_cast<Py_ssize_t>(book.output_names().size())));
  return check_new(PyObject_CallMethod(numpy(), "empty", "(O)", shape.get()));
}

// `present`: None, or one bool per symbol (a sequence of bools, or a
// buffer of numpy bools); anything else is refused before the bar runs.
void read_present(PyObject* o, std::size_t symbols, std::vector<std::uint8_t>& into) {
  into.clear();
  if (o == nullptr || o == Py_None) return;
  HeldBuffer held;
  if (held.acquire(o, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS)) {
    const Py_buffer& v = held.view();
    if (v.ndim != 1 || v.itemsize != 1 || v.format == nullptr || std::strcmp(v.format, "?") != 0) {
      PyErr_SetString(PyExc_TypeError, "present: must be a 1-D buffer of bool, one per symbol");
      throw PythonError{};
    }
    const auto* flags = static_cast<const std::uint8_t*>(v.buf);
    into.assign(flags, flags + v.shape[0]);
  } else {
    PyErr_Clear();
    Ref seq = Ref::steal(PySequence_Fast(o, "present: must be None or a sequence of bool, one per symbol"));
    if (!seq) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "present: must be None or a sequence of bool, one per symbol, not %s",
                   Py_TYPE(o)->tp_name);
      throw PythonError{};
    }
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* item = PySequence_Fast_GET_ITEM(seq.get(), i);
      // numpy's bool scalars, from a strided array, count as bools too.
      const std::string_view type = Py_TYPE(item)->tp_name;
      if (!PyBool_Check(item) && type != "numpy.bool" && type != "numpy.bool_") {
        PyErr_Format(PyExc_TypeError, "present[%zd]: must be a bool, not %s", i, Py_TYPE(item)->tp_name);
        throw PythonError{};
      }
      const int truth = PyObject_IsTrue(item);
      if (truth < 0) throw PythonError{};
      into.push_back(truth != 0 ? 1 : 0);
    }
  }
  if (into.size() != symbols) {
    PyErr_Format(PyExc_ValueError, "present: must have one flag per symbol: expected %zu, got %zu", symbols,
                 into.size());
    throw PythonError{};
  }
}

// One bar in, its outputs into `out_obj`: everything is checked before the
// book moves, and the book runs without the interpreter lock.
void run_bar(BookState& s, PyObject* bars_obj, PyObject* out_obj, PyObject* present_obj, std::size_t threads,
             bool commit) {
  FeatureBook& book = s.book;
  const ColumnTable bars = ColumnTable::input(bars_obj, "bars", book.input_columns());
  if (bars.rows() != book.size()) {
    PyErr_Format(PyExc_ValueError, "bars: must have one row per symbol: expected %zu, got %zu", book.size(),
                 bars.rows());
    throw PythonError{};
  }
  const ColumnTable out = ColumnTable::output(out_obj, "out", book.size(), book.output_names());
  out.refuse_overlap(bars);
  read_present(present_obj, book.size(), s.present);
  s.fit();
  std::expected<void, VexalError> done;
  without_gil([&] {
    bars.read(0, book.size(), s.in_sinks);
    done = commit ? book.update(s.in_views, s.present, s.out_sinks, threads)
                  : book.peek(s.in_views, s.present, s.out_sinks, threads);
    if (done) out.write(0, book.size(), s.out_views);
  });
  unwrap(std::move(done));
}

constexpr Param kBarParams[] = {
    {"bars"}, {"present", std::nullopt, std::nullopt, std::nullopt, true}, {"threads", 1}};
constexpr Signature kUpdate = {"update", kBarParams};
constexpr Signature kPeek = {"peek", kBarParams};
constexpr Param kIntoParams[] = {
    {"bars"}, {"out"}, {"present", std::nullopt, std::nullopt, std::nullopt, true}, {"threads", 1}};
constexpr Signature kUpdateInto = {"update_into", kIntoParams};

Ref book_update(BookState& s, const Args& args) {
  Ref out = new_output(s.book);
  run_bar(s, args.raw(0), out.get(), args.raw(1), thread_count(args, 2, "threads"), true);
  return out;
}

Ref book_peek(BookState& s, const Args& args) {
  Ref out = new_output(s.book);
  run_bar(s, args.raw(0), out.get(), args.raw(1), thread_count(args, 2, "threads"), false);
  return out;
}

Ref book_update_into(BookState& s, const Args& args) {
  run_bar(s, args.raw(0), args.raw(1), args.raw(2), thread_count(args, 3, "threads"), true);
  return none();
}

// The core pipeline behind a Python FeaturePipeline argument.
const FeaturePipeline& pipeline_argument(PyObject* o, const char* arg) {
  if (Py_TYPE(o) != feature_pipeline_type()) {
    PyErr_Format(PyExc_TypeError, "argument '%s': must be a FeaturePipeline, not %s", arg,
                 Py_TYPE(o)->tp_name);
    throw PythonError{};
  }
  return instance_of<FeaturePipeline>(o).state;
}

constexpr Param kAddParams[] = {{"symbol"}, {"pipeline", std::nullopt, std::nullopt, std::nullopt, true}};
constexpr Signature kAdd = {"add", kAddParams};
constexpr Param kSymbolParams[] = {{"symbol"}};
constexpr Signature kRemove = {"remove", kSymbolParams};
constexpr Signature kPipeline = {"pipeline", kSymbolParams};

Ref book_add(BookState& s, const Args& args) {
  std::string symbol = args.get<std::string>(0);
  PyObject* given = args.raw(1);
  if (given == nullptr || given == Py_None) {
    unwrap(s.book.add(std::move(symbol)));
  } else {
    auto& inst = instance_of<FeaturePipeline>(given);
    const FeaturePipeline& p = pipeline_argument(given, "pipeline");
    SharedBorrow borrow(inst.borrow);
    unwrap(s.book.add(std::move(symbol), &p));
  }
  return none();
}

Ref book_remove(BookState& s, const Args& args) {
  unwrap(s.book.remove(args.get<std::string>(0)));
  return none();
}

Ref book_pipeline(BookState& s, const Args& args) {
  FeaturePipeline copy = unwrap(s.book.pipeline(args.get<std::string>(0)));
  return check_new(new_instance(feature_pipeline_type(), std::move(copy)));
}

Ref book_reset(BookState& s) {
  s.book.reset();
  return none();
}
Ref book_output_names(BookState& s) { return to_python(s.book.output_names()); }
Ref book_input_names(BookState& s) { return to_python(s.book.input_columns()); }
Ref book_warm_up_period(BookState& s) { return size_to_python(s.book.warm_up_period()); }
std::size_t book_len(const BookState& s) { return s.book.size(); }

Ref book_repr(const BookState& s) {
  return to_python("FeatureBook(" + std::to_string(s.book.size()) +
                   " symbols, outputs=" + list_form(s.book.output_names()) + ")");
}

PyObject* book_symbols(PyObject* self, void*) noexcept {
  return guarded([&] {
    auto& inst = instance_of<BookState>(self);
    SharedBorrow borrow(inst.borrow);
    return to_python(inst.state.book.symbols()).release();
  });
}

// cross=: objects that say which cross-sectional feature they are through
// _cross_config(): (kind, input, output, groups or None).
std::vector<CrossFeature> cross_argument(PyObject* o) {
  std::vector<CrossFeature> crosses;
  if (o == nullptr || o == Py_None) return crosses;
  Ref seq = Ref::steal(PySequence_Fast(o, "argument 'cross': must be a list of cross-sectional features"));
  if (!seq) throw PythonError{};
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(seq.get(), i);
    Ref config = Ref::steal(PyObject_CallMethod(item, "_cross_config", nullptr));
    const char *kind = nullptr, *input = nullptr, *output = nullptr;
    PyObject* groups = nullptr;
    if (!config || !PyArg_ParseTuple(config.get(), "sssO", &kind, &input, &output, &groups)) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "cross[%zd]: must be a CrossRank, CrossZScore or CrossDemean, not %s", i,
                   Py_TYPE(item)->tp_name);
      throw PythonError{};
    }
    const auto k = cross_kind_named(kind);
    if (!k) {
      PyErr_Format(PyExc_TypeError, "cross[%zd]: unknown cross-sectional feature %s", i, kind);
      throw PythonError{};
    }
    CrossFeature c{*k, input, output, std::nullopt};
    if (groups != Py_None) c.groups = Convert<std::string>::from(groups);
    crosses.push_back(std::move(c));
  }
  return crosses;
}

constexpr Param kBookParams[] = {
    {"pipeline"}, {"symbols"}, {"cross", std::nullopt, std::nullopt, std::nullopt, true}};

BookState make_book(const Args& args) {
  const FeaturePipeline& prototype = pipeline_argument(args.raw(0), "pipeline");
  auto& inst = instance_of<FeaturePipeline>(args.raw(0));
  SharedBorrow borrow(inst.borrow);
  Names symbols = args.get<Names>(1);
  std::vector<CrossFeature> cross = cross_argument(args.raw(2));
  return BookState(unwrap(FeatureBook::create(prototype, std::move(symbols), std::move(cross))));
}

std::vector<std::uint8_t> save_book(PyTypeObject*, const BookState& s) { return snapshot_of(s.book); }

BookState load_book(PyTypeObject*, std::span<const std::uint8_t> bytes) {
  auto in = unwrap(open_snapshot(bytes));
  SnapshotReader peeked = in;
  const std::string tag = peeked.text("class tag");
  if (!peeked.ok()) unwrap(std::expected<void, VexalError>(peeked.failure()));
  if (tag != FeatureBook::snapshot_tag) {
    unwrap(std::expected<void, VexalError>(
        snapshot_error("this is a snapshot of " + quoted_name(tag) + ", not of \"FeatureBook\"")));
  }
  (void)in.text("class tag");
  FeatureBook book = unwrap(FeatureBook::load(in));
  unwrap(in.finish());
  return BookState(std::move(book));
}

constexpr SnapshotCodec<BookState> kBookCodec = {&save_book, &load_book};

const PyMethodDef book_methods[] = {
    {"update", as_method(&method_fastcall<BookState, ExclusiveBorrow, kUpdate, &book_update>),
     METH_FASTCALL | METH_KEYWORDS,
     "update($self, bars, present=None, threads=1)\n--\n\nOne bar for every symbol.\n\nArgs:\n    bars: 2-D "
     "buffer of shape (symbols, input columns) in any order and float dtype, or\n          a sequence of 1-D "
     "buffers, one per input column. NaN marks a missing value,\n          which enters the windows as "
     "always.\n    present: None (all present), or one bool per symbol: a symbol that is not\n             "
     "present keeps its state and gets NaN outputs.\n    threads: Threads to spread the symbols over; the "
     "values are the same for any number.\n\nReturns:\n    A float64 array of shape (symbols, "
     "len(output_names()))."},
    {"update_into", as_method(&method_fastcall<BookState, ExclusiveBorrow, kUpdateInto, &book_update_into>),
     METH_FASTCALL | METH_KEYWORDS,
     "update_into($self, bars, out, present=None, threads=1)\n--\n\nOne bar for every symbol, written into "
     "``out``: a writable float64 buffer of shape\n(symbols, len(output_names())), or one 1-D buffer per "
     "output name."},
    {"peek", as_method(&method_fastcall<BookState, ExclusiveBorrow, kPeek, &book_peek>),
     METH_FASTCALL | METH_KEYWORDS,
     "peek($self, bars, present=None, threads=1)\n--\n\nWhat ``update(bars, present)`` would return now, "
     "leaving every symbol's state as it is."},
    {"add", as_method(&method_fastcall<BookState, ExclusiveBorrow, kAdd, &book_add>),
     METH_FASTCALL | METH_KEYWORDS,
     "add($self, symbol, pipeline=None)\n--\n\nAdd a symbol after the others, from a fresh copy of the "
     "book's "
     "pipeline,\nor from a copy of ``pipeline`` (its state included)."},
    {"remove", as_method(&method_fastcall<BookState, ExclusiveBorrow, kRemove, &book_remove>),
     METH_FASTCALL | METH_KEYWORDS, "remove($self, symbol)\n--\n\nRemove a symbol and its state."},
    {"pipeline", as_method(&method_fastcall<BookState, SharedBorrow, kPipeline, &book_pipeline>),
     METH_FASTCALL | METH_KEYWORDS,
     "pipeline($self, symbol)\n--\n\nAn independent FeaturePipeline holding the symbol's state."},
    {"reset", as_method(&method_noargs<BookState, ExclusiveBorrow, kResetSig, &book_reset>),
     METH_FASTCALL | METH_KEYWORDS, "reset($self)\n--\n\nEvery symbol back to its initial state."},
    {"output_names", as_method(&method_noargs<BookState, SharedBorrow, kOutputNamesSig, &book_output_names>),
     METH_FASTCALL | METH_KEYWORDS,
     "output_names($self)\n--\n\nThe pipeline's output names, then those of the cross-sectional features."},
    {"input_names", as_method(&method_noargs<BookState, SharedBorrow, kInputNamesSig, &book_input_names>),
     METH_FASTCALL | METH_KEYWORDS,
     "input_names($self)\n--\n\nThe input columns, in the order of a bar's columns."},
    {"warm_up_period",
     as_method(&method_noargs<BookState, SharedBorrow, kWarmUpPeriodSig, &book_warm_up_period>),
     METH_FASTCALL | METH_KEYWORDS, "warm_up_period($self)\n--\n\nThe pipeline's warm-up period."},
};

PyGetSetDef book_getset[] = {
    {"symbols", &book_symbols, nullptr, "The symbols, in the order of the rows of a bar.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// -- _cross_section ---------------------------------------------------------

constexpr Param kCrossParams[] = {
    {"kind"}, {"values"}, {"out"}, {"starts"}, {"groups", std::nullopt, std::nullopt, std::nullopt, true}};
constexpr Signature kCrossSection = {"_cross_section", kCrossParams};

// A 1-D float64 buffer, C-contiguous.
std::span<double> float_column(PyObject* o, const char* arg, HeldBuffer& held, bool writable) {
  if (!held.acquire(o, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS | (writable ? PyBUF_WRITABLE : 0)) ||
      held.view().ndim != 1 || held.view().itemsize != 8 || held.view().format == nullptr ||
      std::strcmp(held.view().format, "d") != 0) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "%s: must be a 1-D%s float64 buffer", arg, writable ? " writable" : "");
    throw PythonError{};
  }
  return {static_cast<double*>(held.view().buf), static_cast<std::size_t>(held.view().shape[0])};
}

// The same cross-sectional step as a book's, over the rows of each date:
// rows [starts[d], starts[d + 1]) are date d's symbols.
Ref cross_section_function(const Args& args) {
  const std::string kind_name = args.get<std::string>(0);
  const auto kind = cross_kind_named(kind_name);
  if (!kind) {
    PyErr_Format(PyExc_ValueError, "kind: unknown cross-sectional feature %s", kind_name.c_str());
    throw PythonError{};
  }
  HeldBuffer values_held, out_held, groups_held;
  const std::span<double> values = float_column(args.raw(1), "values", values_held, false);
  const std::span<double> out = float_column(args.raw(2), "out", out_held, true);
  if (out.size() != values.size()) {
    PyErr_SetString(PyExc_ValueError, "out: must have one value per row of values");
    throw PythonError{};
  }
  const GroupStarts starts(args.raw(3), values.size());
  std::vector<std::int64_t> codes;
  std::vector<std::uint8_t> part(values.size(), 1);
  if (args.raw(4) != nullptr && args.raw(4) != Py_None) {
    const std::span<double> groups = float_column(args.raw(4), "groups", groups_held, false);
    if (groups.size() != values.size()) {
      PyErr_SetString(PyExc_ValueError, "groups: must have one value per row of values");
      throw PythonError{};
    }
    codes.resize(values.size());
    for (std::size_t r = 0; r < groups.size(); ++r) {
      const auto code = unwrap(group_code(groups[r], "groups"));
      if (code) {
        codes[r] = *code;
      } else {
        part[r] = 0;
      }
    }
  }
  without_gil([&] {
    CrossScratch scratch;
    for (std::size_t d = 0; d < starts.groups(); ++d) {
      const std::size_t b = starts.begin(d), n = starts.end(d) - b;
      cross_section(*kind, values.subspan(b, n),
                    codes.empty() ? std::span<const std::int64_t>()
                                  : std::span<const std::int64_t>(codes).subspan(b, n),
                    std::span<const std::uint8_t>(part).subspan(b, n), out.subspan(b, n), scratch);
    }
  });
  return none();
}

PyMethodDef cross_section_def = {
    "_cross_section", as_method(&function_fastcall<kCrossSection, &cross_section_function>),
    METH_FASTCALL | METH_KEYWORDS,
    "_cross_section(kind, values, out, starts, groups=None)\n--\n\nA cross-sectional feature over the rows "
    "of each date, for vexal's panels."};

}  // namespace

PyTypeObject* feature_book_type() {
  return FaceClass<BookState, BookState, kBookCodec>::type({
      "vexal.FeatureBook",
      "FeatureBook(pipeline, symbols, cross=None)\n--\n\nA universe of symbols updated together, one bar at "
      "a "
      "time.\n\nEach symbol has its own copy of ``pipeline`` (freshly reset); its outputs are\nexactly what "
      "its own pipeline would give for the bars it was present on.\n``cross`` lists cross-sectional features "
      "(``vexal.CrossRank``, ``vexal.CrossZScore``,\n``vexal.CrossDemean``) computed at each bar over the "
      "present symbols, after\nthe per-symbol ones; their outputs follow the pipeline's.",
      kBookParams,
      &make_book,
      book_methods,
      &repr_slot<BookState, &book_repr>,
      &len_slot<BookState, &book_len>,
      book_getset,
  });
}

PyMethodDef& cross_section_function_def() { return cross_section_def; }

}  // namespace vexal::py
