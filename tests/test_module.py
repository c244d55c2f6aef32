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


LATER_CLASSES = [
    "Rsi", "TrueRange", "Atr", "Adx", "BollingerBands", "Macd", "Stochastic", "WilliamsR", "Cci", "Obv", "Vwap",
    "RollingMin", "RollingMax", "RollingStd", "RollingCorrelation", "RollingQuantile", "GarmanKlassVolatility",
    "YangZhangVolatility", "Lag", "Ratio", "TripleBarrier", "MetaLabel",
]


def test_vexal_reexports_the_same_objects_in_the_same_order():
    # The native list keeps its twenty; the classes registered after them
    # follow on the module (after load) and join the package's list.
    assert list(_vexal.__all__) == REGISTRATION_ORDER
    assert [n for n in vars(_vexal) if not n.startswith("_")] == REGISTRATION_ORDER + ["load"] + LATER_CLASSES
    assert vexal.__all__ == [*REGISTRATION_ORDER, "load", *LATER_CLASSES, "research", "label", "dataset",
                             "uniqueness_weights"]
    assert (vexal.research, vexal.label, vexal.dataset) == (vexal.frames.research, vexal.frames.label,
                                                            vexal.frames.dataset)
    assert vexal.uniqueness_weights is vexal.model_selection.uniqueness_weights
    for name in vexal.__all__[:-4]:
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


def test_the_readme_table_lists_every_transform_with_its_options_and_warm_up():
    from transform_faces import TRANSFORM_FACES

    text = (ROOT / "README.md").read_text()
    table = text[text.index("## Transforms"):text.index("Targets (")]
    rows = [[cell.strip() for cell in line.split("|")[1:-1]] for line in table.splitlines() if line.startswith("| `")]
    listed = {}
    for classes, _inputs, outputs, options, warm_up, _talib in rows:
        for name in re.findall(r"`(\w+)`", classes):
            listed[name] = (outputs, options, warm_up)
    faces = {n: f for n, f in TRANSFORM_FACES.items() if hasattr(_vexal, n)}
    assert sorted(listed) == sorted(faces)
    for name, (outputs, options, warm_up) in listed.items():
        signature, _, sample = faces[name][:3]
        params = [p.strip() for p in signature.strip("()").split(",")]
        defaults = dict(p.split("=") for p in params if "=" in p)
        # The options with defaults read as the signature gives them.
        assert dict(re.findall(r"(\w+)=([\w.]+)", re.sub(r"\(.*?\)", "", options))) == defaults, name
        obj = getattr(_vexal, name)(*sample)
        width = 1 if outputs == "1" else len(outputs.split(", "))
        assert len(obj.output_names()) >= width, name
        # The warm-up formula evaluated on the sample's configuration.
        config = dict(zip([p.split("=")[0] for p in params], list(sample) + [None] * len(params)))
        config.update({k: int(v) for k, v in defaults.items() if v.isdigit()})
        config["w"] = config.get("window")
        formula = warm_up.replace("−", "-").replace("2w", "2 * w")
        assert eval(formula, {}, config) == obj.warm_up_period(), name
