"""The module object: registration, re-exports, re-initialisation, interpreters."""

import importlib
import importlib.metadata
import importlib.util
import pathlib
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

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


# The classes registered after the published names when the registry was
# first split; every class added since follows them in the catalog's order.
FIRST_LATER_CLASSES = [
    "Rsi", "TrueRange", "Atr", "Adx", "BollingerBands", "Macd", "Stochastic", "WilliamsR", "Cci", "Obv", "Vwap",
    "RollingMin", "RollingMax", "RollingStd", "RollingCorrelation", "RollingQuantile", "GarmanKlassVolatility",
    "YangZhangVolatility", "Lag", "Ratio", "TripleBarrier", "MetaLabel",
]
LATER_CLASSES = [d["name"] for d in _vexal._describe() if d["name"] not in REGISTRATION_ORDER]


def test_vexal_reexports_the_same_objects_in_the_same_order():
    # The native list keeps its twenty; the classes registered after them
    # follow on the module (after load) and join the package's list.
    assert list(_vexal.__all__) == REGISTRATION_ORDER
    assert LATER_CLASSES[: len(FIRST_LATER_CLASSES)] == FIRST_LATER_CLASSES
    registered = [*LATER_CLASSES, "FeatureBook"]
    assert [n for n in vars(_vexal) if not n.startswith("_")] == REGISTRATION_ORDER + ["load"] + registered
    assert vexal.__all__ == [*REGISTRATION_ORDER, "load", *registered, "CrossRank", "CrossZScore", "CrossDemean",
                             "research", "label", "dataset", "book_bars", "uniqueness_weights"]
    assert (vexal.research, vexal.label, vexal.dataset) == (vexal.frames.research, vexal.frames.label,
                                                            vexal.frames.dataset)
    assert vexal.uniqueness_weights is vexal.model_selection.uniqueness_weights
    for name in vexal.__all__[:-8]:
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


ROOT = pathlib.Path(__file__).resolve().parent.parent


def test_the_version_is_the_installed_distributions_and_pyprojects():
    tomllib = pytest.importorskip("tomllib")
    declared = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["version"]
    assert vexal.__version__ == importlib.metadata.version("vexal") == declared


@pytest.mark.parametrize("option, werror", [([], False), (["-DVEXAL_WERROR=ON"], True), (["-DVEXAL_WERROR=OFF"], False)])
def test_warnings_fail_only_builds_that_ask_for_it(tmp_path, option, werror):
    if shutil.which("cmake") is None:
        pytest.skip("needs cmake")
    configured = subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tmp_path), "-DVEXAL_BUILD_TESTS=OFF",
                                 "-DVEXAL_BUILD_EXTENSION=OFF", *option], capture_output=True, text=True, timeout=120)
    assert configured.returncode == 0, configured.stderr
    flags = "".join(p.read_text() for p in [*tmp_path.rglob("flags.make"), *tmp_path.glob("build.ninja")])
    assert "-Wall -Wextra" in flags and ("-Werror" in flags) is werror


def test_star_import_gives_every_name_the_readme_uses():
    # Names called as vexal.<name>, and those imported from vexal in examples;
    # submodules are reached by their own import.
    text = (ROOT / "README.md").read_text()
    used = set(re.findall(r"\bvexal\.([A-Za-z_]\w*)\b", text))
    for imported in re.findall(r"^from vexal import (\([^)]*\)|[^\n#]*)", text, flags=re.M):
        used |= {n.strip() for n in imported.strip("()").split(",") if n.strip()}
    submodules = {n for n in used if importlib.util.find_spec(f"vexal.{n}") is not None}
    namespace: dict = {}
    exec("from vexal import *", namespace)
    assert sorted(used - submodules - {"__all__"} - set(namespace)) == []
    assert set(vexal.__all__) <= set(namespace)


@pytest.mark.parametrize("d", [d for d in _vexal._describe() if d["kind"] == "transform"], ids=lambda d: d["name"])
def test_each_description_agrees_with_its_class(d):
    # The reference table and pages are written from these descriptions, so
    # a wrong option note, column count or warm-up formula would mislead.
    from transform_faces import example_arguments

    params = [p.strip() for p in d["signature"].strip("()").split(",")]
    defaults = dict(p.split("=") for p in params if "=" in p)
    assert dict(re.findall(r"(\w+)=([\w.+-]+)", re.sub(r"\(.*?\)", "", d["options_note"]))) == defaults
    sample = example_arguments(d["example"])
    obj = getattr(_vexal, d["name"])(*sample)
    assert len(obj.input_names()) == len(d["reads"].split(", "))
    assert len(obj.output_names()) == (1 if d["writes"] == "1" else len(d["writes"].split(", ")))
    # The warm-up formula evaluated on the example's configuration.
    config = dict(zip([p.split("=")[0] for p in params], list(sample) + [None] * len(params)))
    config.update({k: int(v) for k, v in defaults.items() if v.isdigit()})
    config["w"] = config.get("window")
    formula = re.sub(r"(\d)w", r"\1 * w", d["warm_up"].replace("−", "-"))
    # A formula over what the class derives (FracDiff's width) is checked by its reference case.
    if set(re.findall(r"[a-z_]+", formula)) <= set(config):
        assert eval(formula, {}, config) == obj.warm_up_period()
    assert getattr(_vexal, d["name"]).__text_signature__ == d["signature"]
