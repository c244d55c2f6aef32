#include "scalers.hpp"

#include "fitting/standard_scaler.hpp"
#include "frame/transform_class.hpp"
#include "scalers/fixed_zscore.hpp"
#include "scalers/rolling_zscore.hpp"

namespace vexal::py {
namespace {

constexpr TransformFace kRollingZScore = {
    "vexal.RollingZScore",
    "RollingZScore(inputs, window, outputs)\n--\n\nRolling z-score normalization over a sliding window.",
    kInputsWindowOutputs,
    kUpdateWarmUpDoc,
    kResetStateDoc,
    [](const Args& a) { return construct_with<Names, std::uint64_t, Names>(a, &RollingZScore::create); },
    [](const StreamingTransform& t, const char* name) { return window_repr<RollingZScore>(t, name); },
};

constexpr Param kFixedZScoreParams[] = {{"inputs"}, {"outputs"}, {"mean"}, {"std"}};
constexpr TransformFace kFixedZScore = {
    "vexal.FixedZScore",
    "FixedZScore(inputs, outputs, mean, std)\n--\n\nZ-score normalization with pre-fitted mean and std.",
    kFixedZScoreParams,
    "update($self, values)\n--\n\nProcess one bar. Returns ``[NaN]`` if input is ``NaN``.",
    "reset($self)\n--\n\nReset (no-op for stateless scalers).",
    [](const Args& a) { return construct_with<Names, Names, double, double>(a, &FixedZScore::create); },
    // The fitted statistics are not shown.
    &names_repr,
};

constexpr Param kDataParam[] = {{"data"}};
constexpr Signature kFitSignature = {"fit_standard_scaler", kDataParam};

Ref fit(const Args& args) {
  const FloatList data = args.get<FloatList>(0);
  const auto [mean, std] = unwrap(fit_standard_scaler(data));
  Ref m = check_new(PyFloat_FromDouble(mean));
  Ref s = check_new(PyFloat_FromDouble(std));
  return check_new(PyTuple_Pack(2, m.get(), s.get()));
}

PyMethodDef fit_def = {
    "fit_standard_scaler",
    as_method(&function_fastcall<kFitSignature, &fit>),
    METH_FASTCALL | METH_KEYWORDS,
    "fit_standard_scaler(data)\n--\n\nCompute mean and std from a column of data.\n\nArgs:\n    data: List "
    "of "
    "floats. Use ``float('nan')`` for missing values.\n\nReturns:\n    Tuple ``(mean, std)``.",
};

}  // namespace

void add_scaler_classes(PyObject* module) {
  add_transform_class<kRollingZScore>(module);
  add_transform_class<kFixedZScore>(module);
}

void add_fitting_function(PyObject* module) { add_function(module, fit_def); }

}  // namespace vexal::py
