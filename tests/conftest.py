import collections
import csv
import os
import pathlib

import pytest
from hypothesis import HealthCheck, settings

DATA = pathlib.Path(__file__).resolve().parent.parent / "python" / "vexal" / "data" / "SPY_D.csv"

# Property and fuzz tests take their example counts from a profile: "dev"
# keeps a local run quick, "ci" tries more cases. Choose with
# VEXAL_HYPOTHESIS_PROFILE; tests that set their own counts keep them.
settings.register_profile(
    "dev", max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large]
)
settings.register_profile(
    "ci", max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large]
)
settings.load_profile(os.environ.get("VEXAL_HYPOTHESIS_PROFILE", "dev"))

_CASES: dict[str, collections.Counter] = collections.defaultdict(collections.Counter)


def load_spy() -> dict[str, list[float]]:
    with DATA.open(newline="") as f:
        rows = list(csv.DictReader(f))
    return {k: [float(r[k]) for r in rows] for k in ("open", "high", "low", "close", "volume")}


@pytest.fixture(scope="session")
def spy() -> dict[str, list[float]]:
    return load_spy()


@pytest.fixture(scope="session")
def property_cases() -> collections.Counter:
    """Counts the generated cases each class went through in property tests."""
    return _CASES["property cases"]


@pytest.fixture(scope="session")
def fuzz_cases() -> collections.Counter:
    """Counts the arbitrary-argument calls made on each class."""
    return _CASES["fuzz calls"]


@pytest.fixture(scope="session")
def leak_checked_calls() -> collections.Counter:
    """Counts the calls measured for leaked references and memory."""
    return _CASES["leak-checked calls"]


# Tests that start a cluster of worker processes of their own run with the
# serial ones, so that the cluster's start-up timeouts hold on two cores.
SERIAL_TESTS = {"test_dask_on_a_two_process_cluster_gives_the_local_result"}


@pytest.hookimpl(tryfirst=True)
def pytest_collection_modifyitems(items):
    # First, so that "-m serial" and "-m 'not serial'" see the mark.
    for item in items:
        if getattr(item, "originalname", item.name) in SERIAL_TESTS:
            item.add_marker(pytest.mark.serial)


def pytest_sessionfinish(session):
    # Under pytest-xdist each worker counts its own cases: it hands them to
    # the controller, which adds them up for the summary.
    workeroutput = getattr(session.config, "workeroutput", None)
    if workeroutput is not None:
        workeroutput["vexal_cases"] = {title: dict(counter) for title, counter in _CASES.items()}


@pytest.hookimpl(optionalhook=True)
def pytest_testnodedown(node, error):
    for title, counts in getattr(node, "workeroutput", {}).get("vexal_cases", {}).items():
        _CASES[title].update(counts)


def pytest_terminal_summary(terminalreporter):
    for title, counter in _CASES.items():
        if counter:
            terminalreporter.section(f"{title} per class")
            for name, count in sorted(counter.items()):
                terminalreporter.write_line(f"{name:28} {count}")
            terminalreporter.write_line(f"{'total':28} {sum(counter.values())}")
