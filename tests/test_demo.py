"""python -m vexal.demo: the run on the bundled data, column options, and
clear errors for unusable input."""

import csv
import math
import re
import subprocess
import sys

import pandas as pd
import pytest

from conftest import DATA
from vexal import demo

nan = float("nan")


def run(capsys, *argv):
    code = demo.main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return code, out, err


def summary(out):
    """column name -> (count, mean) from the printed table."""
    rows = re.findall(r"^  (\S+)\s+(\d+)\s+(\S+)$", out, flags=re.M)
    return {name: (int(count), float(mean)) for name, count, mean in rows if name != "column"}


def write_csv(path, header, rows):
    with path.open("w", newline="") as f:
        w = csv.writer(f)
        w.writerow(header)
        w.writerows(rows)
    return path


def spy_rows(n, columns=("date", "open", "high", "low", "close")):
    with DATA.open(newline="") as f:
        rows = list(csv.DictReader(f))[:n]
    return [[r[c] for c in columns] for r in rows]


def test_bundled_data_runs_and_both_modes_agree(capsys):
    code, out, err = run(capsys)
    assert code == 0 and err == ""
    assert out.startswith("SPY_D.csv: 5241 bars; 15 features -> 16 columns, warm-up 59 bars; "
                          "3 targets -> 4 columns, forward period 20 bars\n")
    assert "agreement: live == research on all 5241 bars x 16 columns (bitwise, NaN == NaN)" in out
    assert re.search(r"^restart:   live stopped after bar 2620, saved to a \d+-byte snapshot file; the pipeline "
                     r"restored from it gave the other 2621 bars, all in agreement$", out, flags=re.M)
    for mode in ("research", "live", "targets"):
        assert re.search(rf"^{mode}\s+5241 bars in [\d.]+ ms \([\d,]+ bars/s\)$", out, flags=re.M), mode
    table = summary(out)
    assert len(table) == 20
    assert {"ret_1", "macd_z", "trend_r2_20", "rogers_satchell_20", "fwd_ret_5", "close_future_ctc_vol_20",
            "fwd_r2_20"} <= table.keys()


def test_printed_statistics_match_pandas(capsys, spy):
    _, out, _ = run(capsys)
    table = summary(out)
    close = pd.Series(spy["close"])
    references = {
        "ret_1": close.pct_change(fill_method=None),
        "sma_20": close.rolling(20).mean(),
        "fwd_ret_5": (close.shift(-5) - close) / close,
    }
    for name, series in references.items():
        count, mean = table[name]
        assert count == series.notna().sum(), name
        assert mean == pytest.approx(series.mean(), rel=1e-7), name
    # The trend of the next 20 bars is the trend of the last 20, 19 bars on.
    assert table["fwd_slope_20"] == table["trend_slope_20"]


def test_column_options_select_renamed_columns(capsys, tmp_path):
    rows = spy_rows(300)
    plain = write_csv(tmp_path / "plain.csv", ["date", "open", "high", "low", "close"], rows)
    renamed = write_csv(tmp_path / "renamed.csv", ["Date", "O", "Hi", "Lo", "Last"],
                        [[r[0], r[1], r[2], r[3], r[4]] for r in rows])
    code_a, out_a, _ = run(capsys, plain)
    code_b, out_b, _ = run(capsys, renamed, "--open", "O", "--high", "Hi", "--low", "Lo", "--close", "Last")
    assert code_a == code_b == 0
    assert summary(out_a) == summary(out_b) and summary(out_a)["ret_1"][0] == 299
    assert "agreement: live == research on all 300 bars" in out_b


@pytest.mark.parametrize("spoil, bar", [("reset", 2620), ("step", 2620)])
def test_a_restart_that_loses_state_fails_the_agreement(capsys, monkeypatch, spoil, bar):
    original = demo.load

    def forgetful(data):
        restored = original(data)
        if spoil == "reset":
            restored.reset()
        else:
            restored.update([100.0] * len(restored.input_names()))
        return restored

    monkeypatch.setattr(demo, "load", forgetful)
    code, out, _ = run(capsys)
    assert code == 1 and re.search(rf"^agreement: FAILED at bar {bar}, column ", out, flags=re.M)


def test_empty_cells_are_missing_values(capsys, tmp_path):
    rows = spy_rows(200)
    rows[50][4] = ""
    rows[51][4] = " "
    code, out, err = run(capsys, write_csv(tmp_path / "gaps.csv", ["date", "open", "high", "low", "close"], rows))
    assert code == 0, err
    # Two missing closes remove three one-bar returns and 21 twenty-bar means.
    assert summary(out)["ret_1"][0] == 199 - 3
    assert summary(out)["sma_20"][0] == 181 - 21
    assert "agreement: live == research" in out


HEADER = ["date", "open", "high", "low", "close"]


@pytest.mark.parametrize(
    "header, rows, argv, message",
    [
        (HEADER[:4], [["d", 1, 2, 0.5]], [], r"no column 'close' \(columns: date, open, high, low\)$"),
        (HEADER, [["d", 1, 2, 0.5, 1]], ["--close", "Price", "--high", "H"], r"no column 'H', 'Price' \("),
        (HEADER, [["d", 1, 2, 0.5, 1], ["d", 1, 2, 0.5, 1], ["d", 1, "abc", 0.5, 1]], [],
         r", line 4, column 'high': not a number: 'abc'$"),
        (["date", "o", "high", "low", "close"], [["d", "1e", 2, 0.5, 1]], ["--open", "o"],
         r", line 2, column 'o': not a number: '1e'$"),
        (HEADER, [["d", 1, 2, 0.5, 1], ["d", 1, 2]], [], r", line 3, column 'low': the row has only 3 field\(s\)$"),
        (HEADER, [["d", 1, 2, 0.5, 1]] * 5, [], r": 5 bars are too few to fit the MACD z-score"),
    ],
)
def test_unusable_csv_files_fail_with_exit_code_2(capsys, tmp_path, header, rows, argv, message):
    path = write_csv(tmp_path / "bad.csv", header, rows)
    code, out, err = run(capsys, path, *argv)
    assert code == 2 and out == ""
    assert err.startswith(f"error: {path}") and err.endswith("\n") and err.count("\n") == 1
    assert re.search(message, err.rstrip("\n")), err


@pytest.mark.parametrize("content, message", [("", ": the file is empty"), (b"\xff\xfe\x00", ": not a UTF-8 text file")])
def test_empty_and_binary_files_fail_clearly(capsys, tmp_path, content, message):
    path = tmp_path / "odd.csv"
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    code, _, err = run(capsys, path)
    assert code == 2 and message in err


def test_a_missing_file_fails_with_exit_code_2(capsys, tmp_path):
    code, out, err = run(capsys, tmp_path / "nope.csv")
    assert code == 2 and out == ""
    assert err == f"error: cannot open {tmp_path / 'nope.csv'}: No such file or directory\n"


def test_the_module_runs_as_a_program(tmp_path):
    ok = subprocess.run([sys.executable, "-m", "vexal.demo"], capture_output=True, text=True, timeout=120)
    assert ok.returncode == 0, ok.stderr
    assert "agreement: live == research on all 5241 bars" in ok.stdout
    bad = subprocess.run([sys.executable, "-m", "vexal.demo", str(tmp_path / "x.csv")], capture_output=True,
                         text=True, timeout=120)
    assert bad.returncode == 2 and bad.stdout == "" and bad.stderr.startswith("error: cannot open ")


@pytest.mark.parametrize(
    "a, b, expected",
    [
        ([[1.0, nan]], [[1.0, nan]], None),
        ([[1.0, nan]], [[1.0, 2.0]], (0, 1, nan, 2.0)),
        ([[0.0]], [[-0.0]], (0, 0, 0.0, -0.0)),  # equal as numbers, not as bits
        ([[1.0], [2.0]], [[1.0]], (1, None, None, None)),
        ([[1.0], [2.0, 3.0]], [[1.0], [2.0]], (1, None, [2.0, 3.0], [2.0])),
    ],
)
def test_agreement_is_bitwise_with_nan_equal_to_nan(a, b, expected):
    got = demo.first_difference(a, b)
    if expected is None:
        assert got is None
    else:
        assert got[:2] == expected[:2]
        assert all((x is y) or x == y or (isinstance(x, float) and math.isnan(x) and math.isnan(y))
                   for x, y in zip(got[2:], expected[2:]))


def test_the_readme_example_prints_what_its_comments_say(capsys):
    readme = (DATA.parents[3] / "README.md").read_text()
    code = re.search(r"```python\n(.*?)```", readme, flags=re.S).group(1)
    expected = [line.split("  # ", 1)[1] for line in code.splitlines() if line.startswith("print(")]
    exec(compile(code, "README.md", "exec"), {})
    assert capsys.readouterr().out.splitlines() == expected
