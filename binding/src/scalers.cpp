#include "scalers.hpp"

#include "fitting/standard_scaler.hpp"
#include "frame/instance.hpp"

namespace vexal::py {
namespace {

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

PyMethodDef& fit_standard_scaler_def() { return fit_def; }

}  // namespace vexal::py
