#include "features.hpp"

#include "features/ema.hpp"
#include "features/sma.hpp"
#include "frame/transform_class.hpp"

namespace vexal::py {
namespace {

using Window = std::uint64_t;

constexpr TransformFace kSma = {
    "vexal.Sma",
    "Sma(inputs, window, outputs)\n--\n\nSimple Moving Average over a rolling window.",
    kInputsWindowOutputs,
    kUpdateWarmUpDoc,
    kResetStateDoc,
    [](const Args& a) { return construct_with<Names, Window, Names>(a, &Sma::create); },
    [](const StreamingTransform& t) { return window_repr<Sma>("Sma", t); },
};

constexpr TransformFace kEma = {
    "vexal.Ema",
    "Ema(inputs, window, outputs)\n--\n\nExponential Moving Average with SMA seeding.",
    kInputsWindowOutputs,
    kUpdateWarmUpDoc,
    kResetStateDoc,
    [](const Args& a) { return construct_with<Names, Window, Names>(a, &Ema::create); },
    [](const StreamingTransform& t) { return window_repr<Ema>("Ema", t); },
};

}  // namespace

void add_feature_classes(PyObject* module) {
  add_transform_class<kSma>(module);
  add_transform_class<kEma>(module);
}

}  // namespace vexal::py
