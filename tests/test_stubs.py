"""The extension's type stubs agree with the module at run time."""

import ast
import pathlib
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
