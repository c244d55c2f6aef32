"""Ctrl-C during a long call: each case runs in a child process that is sent SIGINT once the call is under way,
and must raise KeyboardInterrupt within LIMIT seconds, its objects usable afterwards. A case is (setup, call,
follow-up): Python statements run before the signal, the call interrupted, and one that must still work."""

import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

pytest.importorskip("numpy")
pd = pytest.importorskip("pandas")

# Latencies are measured: the test needs the machine to itself.
pytestmark = pytest.mark.serial

LIMIT = 0.2
# Long enough after "ready" for the call to be well into its work.
DELAY = 0.6

PANEL = """
n = {rows}
rng = np.random.default_rng(0)
df = pd.DataFrame({{"sym": rng.integers(0, {symbols}, n), "t": rng.permutation(n), "c": rng.random(n) + 1}})
fp = vexal.FeaturePipeline([vexal.RollingQuantile(["c"], 50, ["q"]), vexal.Sma(["c"], 20, ["s"])], ["c"])
tp = vexal.TargetPipeline([vexal.FutureReturn(["c"], 5, ["r"])], ["c"])
small = df.head(100)
"""
SORTED = 'df = df.sort_values(["sym", "t"], ignore_index=True)\n'
# Grouped but not in order: the call goes straight to the sort.
BY_SYMBOL = 'df = df.sort_values("sym", kind="stable", ignore_index=True)\n'
FOLLOW_PANEL = 'assert len(vexal.dataset(fp, tp, small, by="sym", order_by="t")) == 100'

CASES = {
    # Queued groups are not waited for.
    "groups on two workers": (PANEL.format(rows=6_000_000, symbols=2000) + SORTED,
                              'vexal.dataset(fp, tp, df, by="sym", order_by="t", workers=2)', FOLLOW_PANEL),
    "one-bar symbols on two workers": (PANEL.format(rows=6_000_000, symbols=10**12),
                                       'vexal.dataset(fp, tp, df, by="sym", workers=2)', FOLLOW_PANEL),
    # Most of this call is ordering the rows.
    "ordering an unsorted panel": (PANEL.format(rows=12_000_000, symbols=100) + BY_SYMBOL,
                                   'vexal.research(fp, df, by="sym", order_by="t", workers=1)', FOLLOW_PANEL),
    "features from lists": (
        "fp = vexal.FeaturePipeline([vexal.RollingQuantile(['c'], 200, ['q'])], ['c'])\n"
        "bars = np.random.default_rng(0).random((2_000_000, 1))",
        "fp.run_research(bars)", "assert len(fp.run_research([[1.0], [2.0]])) == 2"),
    "targets from lists": (
        "tp = vexal.TargetPipeline([vexal.FutureLinearSlope(['c', 'c'], 2000, ['b', 'r2'])], ['c'])\n"
        "column = list(np.random.default_rng(0).random(3_000_000))",
        "tp.run_research([column])", "assert len(tp.run_research([column[:10]])[0]) == 10"),
}

# One chunk of these is far more work than its bars suggest.
CHUNKS = {
    "FutureLinearSlope, horizon 50,000": (
        "tp = vexal.TargetPipeline([vexal.FutureLinearSlope(['c', 'c'], 50_000, ['b', 'r2'])], ['c'])\n"
        "x = np.random.default_rng(0).random((400_000, 1))",
        "tp.run_research_into(x, np.empty((len(x), 2)))", "tp.run_research_into(x[:10], np.empty((10, 2)))"),
    "FutureCTCVolatility, horizon 100,000": (
        "tp = vexal.TargetPipeline([vexal.FutureCTCVolatility('c', 100_000)], ['c'])\n"
        "x = np.random.default_rng(0).random((800_000, 1)) + 1",
        "tp.run_research_into(x, np.empty((len(x), 1)))", "tp.run_research_into(x[:10], np.empty((10, 1)))"),
    "RollingQuantile, window 100,000": (
        "fp = vexal.FeaturePipeline([vexal.RollingQuantile(['c'], 100_000, ['q'])], ['c'])\n"
        "x = np.random.default_rng(0).random((400_000, 1))",
        "fp.run_research_into(x, np.empty((len(x), 1)))", "assert len(fp.update([1.0])) == 1"),
}

CHILD = """
import sys, time
import numpy as np, pandas as pd, vexal
{setup}
print("ready", flush=True)
try:
{call}
except KeyboardInterrupt:
    caught = time.monotonic()
{follow}
    print("interrupted", caught, flush=True)
else:
    print("finished", flush=True)
"""


def interrupt(setup: str, call: str, follow: str) -> float:
    """Seconds from SIGINT to KeyboardInterrupt in a child running `call`."""
    source = CHILD.format(setup=setup, call=textwrap.indent(call, "    "), follow=textwrap.indent(follow, "    "))
    child = subprocess.Popen([sys.executable, "-c", source], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
    try:
        assert child.stdout.readline() == "ready\n", child.communicate()[1]
        time.sleep(DELAY)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=120)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 0, err
    word, *rest = out.split()
    assert word == "interrupted", "the call finished before the signal: make it longer"
    return float(rest[0]) - sent


@pytest.mark.skipif(os.name != "posix", reason="SIGINT to a child process")
@pytest.mark.parametrize("case", [pytest.param(c, id=k) for k, c in {**CASES, **CHUNKS}.items()])
def test_ctrl_c_raises_keyboard_interrupt_promptly_and_leaves_objects_usable(case):
    assert interrupt(*case) < LIMIT
