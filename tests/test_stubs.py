"""The extension's type stubs agree with the module at run time."""

import ast
import pathlib
import re
import subprocess
import sys

import pytest

import _vexal

STUB = pathlib.Path(__file__).resolve().parent.parent / "python" / "_vexal.pyi"


def test_stub_declares_every_registered_name_in_order():
    tree = ast.parse(STUB.read_text())
    declared = next(
        node.value for node in tree.body
        if isinstance(node, ast.Assign) and any(getattr(t, "id", None) == "__all__" for t in node.targets)
    )
    assert ast.literal_eval(declared) == list(_vexal.__all__)


def test_stub_declares_every_registered_class_and_function_in_registration_order():
    # The registry decides the order of the module's names; the stub lists
    # them in the same order, the published twenty first.
    declared = [
        node.name for node in ast.parse(STUB.read_text()).body
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and not node.name.startswith("_")
    ]
    registered = [name for name in vars(_vexal) if not name.startswith("_")]
    assert declared == registered
    assert registered[: len(_vexal.__all__)] == list(_vexal.__all__)


def test_stubtest_finds_no_difference():
    pytest.importorskip("mypy")
    out = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "_vexal", "--concise"], capture_output=True, text=True, timeout=300
    )
    assert out.returncode == 0, out.stdout + out.stderr


HERE = pathlib.Path(__file__).resolve().parent
# Mistakes the stubs must catch, one per line, each with the line's error for mypy.
MISUSE = """\
import numpy as np
from vexal import FeaturePipeline, FutureReturn, Sma, TargetPipeline
FeaturePipeline([FutureReturn(["close"], 1, ["f"])], ["close"])
TargetPipeline([Sma(["close"], 2, ["s"])], ["close"])
Sma(["close"], "20", ["s"])
Sma(["close"], 2, ["s"]).update(3.0)
FeaturePipeline([Sma(["close"], 2, ["s"])], "close").run_research(np.ones((3, 1))).shape
"""


def type_check(checker, folder, script):
    if checker == "mypy":
        pytest.importorskip("mypy")
        command = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(script)]
    else:
        pytest.importorskip("basedpyright")
        (folder / "pyrightconfig.json").write_text('{"typeCheckingMode": "strict"}')
        command = [sys.executable, "-m", "basedpyright", "--pythonpath", sys.executable, "--project", str(folder),
                   str(script)]
    return subprocess.run(command, capture_output=True, text=True, timeout=300, cwd=folder)


@pytest.mark.parametrize("checker", ["mypy", "pyright"])
def test_a_natural_user_script_passes_strict_type_checks_and_runs(checker, tmp_path):
    script = tmp_path / "typing_user.py"
    script.write_text((HERE / "typing_user.py").read_text())
    out = type_check(checker, tmp_path, script)
    assert out.returncode == 0, out.stdout + out.stderr
    ran = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, timeout=120)
    assert ran.returncode == 0, ran.stderr


@pytest.mark.parametrize("checker", ["mypy", "pyright"])
def test_the_stubs_reject_what_the_runtime_rejects(checker, tmp_path):
    script = tmp_path / "misuse.py"
    script.write_text(MISUSE)
    out = type_check(checker, tmp_path, script)
    lines = {int(n) for n in re.findall(r"misuse\.py:(\d+)", out.stdout)}
    assert out.returncode != 0 and lines >= {3, 4, 5, 6, 7}, out.stdout


def test_the_files_derived_from_the_descriptions_are_current(capsys):
    # Stubs, README table, snapshot layouts and reference pages are written
    # by scripts/derive.py; a class changed without rerunning it shows here.
    sys.path.insert(0, str(HERE.parent / "scripts"))
    try:
        import derive
    finally:
        sys.path.pop(0)
    assert derive.main(["--check"]) == 0, capsys.readouterr().out
