"""The module object: registration, re-exports, re-initialisation, interpreters."""

import importlib
import subprocess
import sys
import textwrap

import _vexal
import vexal

# The registration order; classes appear as they are built, always in this
# relative order.
REGISTRATION_ORDER = [
    "Sma", "Ema", "Kama", "SimpleReturn", "LogReturn", "Skewness", "Kurtosis", "LinearSlope",
    "ParkinsonVolatility", "RogersSatchellVolatility", "Subtract", "NegLog", "RollingZScore",
    "FixedZScore", "fit_standard_scaler", "FutureReturn", "FutureCTCVolatility", "FutureLinearSlope",
    "FeaturePipeline", "TargetPipeline",
]


def test_all_follows_the_registration_order():
    names = list(_vexal.__all__)
    assert names[:2] == ["Sma", "Ema"]
    assert names == [n for n in REGISTRATION_ORDER if n in names]
    assert all(getattr(_vexal, n) is not None for n in names)
    assert _vexal.__name__ == "_vexal" and _vexal.__doc__ == ""


LATER_CLASSES = [
    "Rsi", "TrueRange", "Atr", "Adx", "BollingerBands", "Macd", "Stochastic", "WilliamsR", "Cci", "Obv", "Vwap",
    "RollingMin", "RollingMax", "RollingStd", "RollingCorrelation", "RollingQuantile", "GarmanKlassVolatility",
    "YangZhangVolatility", "Lag", "Ratio",
]


def test_vexal_reexports_the_same_objects_in_the_same_order():
    # The native list keeps its twenty; the classes registered after them
    # follow on the module (after load) and join the package's list.
    assert list(_vexal.__all__) == REGISTRATION_ORDER
    assert [n for n in vars(_vexal) if not n.startswith("_")] == REGISTRATION_ORDER + ["load"] + LATER_CLASSES
    assert vexal.__all__ == [*REGISTRATION_ORDER, *LATER_CLASSES, "research", "label"]
    assert vexal.research is vexal.arrays.research and vexal.label is vexal.arrays.label
    for name in vexal.__all__[:-2]:
        assert getattr(vexal, name) is getattr(_vexal, name)


def test_second_import_and_reinitialisation_return_the_same_module():
    assert importlib.import_module("_vexal") is _vexal
    saved = sys.modules.pop("_vexal")
    try:
        again = importlib.import_module("_vexal")
        assert again is saved
        assert again.Sma is saved.Sma
    finally:
        sys.modules["_vexal"] = saved


def test_a_second_interpreter_is_refused_with_import_error():
    # Run in a child process: once refused, the sub-interpreter machinery
    # should not leak into this test session.
    script = textwrap.dedent(
        """
        import _vexal
        try:
            import _xxsubinterpreters as interpreters
        except ImportError:
            print("no-subinterpreters")
            raise SystemExit(0)
        interp = interpreters.create()
        code = (
            "try:\\n"
            "    import _vexal\\n"
            "    result = 'imported'\\n"
            "except ImportError as exc:\\n"
            "    result = 'ImportError: ' + str(exc)\\n"
            "assert result.startswith('ImportError'), result\\n"
            "assert 'sub-interpreter' in result, result\\n"
        )
        interpreters.run_string(interp, code)
        interpreters.destroy(interp)
        print("refused")
        """
    )
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() in ("refused", "no-subinterpreters")
    if sys.version_info[:2] == (3, 11):
        assert out.stdout.strip() == "refused"
