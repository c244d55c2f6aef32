"""FeatureBook: a universe of symbols in one live call, equal symbol by symbol to each one's own pipeline, and the
cross-sectional features against pandas and math.fsum, live and in research alike."""

import math
import pickle
import struct

import numpy as np
import pandas as pd
import pytest

import vexal

pytestmark = pytest.mark.native

SYMBOLS = ["AAA", "BBB", "CCC", "DDD", "EEE"]


def pipeline_of(window=3):
    return vexal.FeaturePipeline([vexal.Sma(["close"], window, ["sma"]), vexal.Rsi(["close"], 4, ["rsi"]),
                                  vexal.Atr(["high", "low", "close"], 3, ["atr"])], ["close", "high", "low", "sector"])


def pipeline():
    return pipeline_of()


def bits(a):
    return [struct.pack("<d", v) for v in np.asarray(a, dtype=np.float64).ravel()]


def bars_for(rng, n):
    close = 100 + rng.normal(size=n)
    bars = np.column_stack([close, close + rng.random(n), close - rng.random(n), rng.integers(0, 2, n)])
    bars[rng.random(n) < 0.1, 0] = np.nan  # missing values enter the windows
    return bars


# Enough symbols that each thread's share fills the vector lanes of the windows run side by side.
UNIVERSE = SYMBOLS + [f"S{i}" for i in range(35)]


@pytest.mark.parametrize("threads", [1, 2])
def test_each_symbol_equals_its_own_pipeline_through_presence_gaps_universe_changes_and_restores(threads):
    rng = np.random.default_rng(threads)
    book = vexal.FeatureBook(pipeline(), UNIVERSE)
    own = {s: pipeline() for s in UNIVERSE}
    for t in range(60):
        if t == 20:  # the universe changes between bars; a restored book carries on
            book.remove("BBB")
            del own["BBB"]
            book.add("FFF")
            own["FFF"] = pipeline()
            book.add("GGG", own["AAA"])  # from a pipeline, its state included
            own["GGG"] = pickle.loads(pickle.dumps(own["AAA"]))
            # One pipeline configured otherwise: the book runs each symbol alone while it is there.
            book.add("HHH", pipeline_of(5))
            own["HHH"] = pipeline_of(5)
        if t == 30:
            book.remove("HHH")
            del own["HHH"]
        if t == 40:
            book = vexal.load(book.snapshot())
        symbols = book.symbols
        bars = bars_for(rng, len(symbols))
        present = rng.random(len(symbols)) < 0.8
        peeked = book.peek(bars, present=present, threads=threads)
        out = book.update(np.asfortranarray(bars), present, threads=threads)  # any memory order
        assert bits(peeked) == bits(out)
        for i, s in enumerate(symbols):
            expected = own[s].update(list(bars[i])) if present[i] else [math.nan] * 3
            assert bits(out[i]) == bits(expected), (t, s)
    assert bits(book.pipeline("GGG").update([1.0, 2.0, 0.5, 0.0])) == bits(own["GGG"].update([1.0, 2.0, 0.5, 0.0]))


CROSS = [vexal.CrossRank(["sma"], ["rank"]), vexal.CrossZScore(["close"], ["z"], groups="sector"),
         vexal.CrossDemean(["close"], ["dm"])]


def test_bad_bars_are_refused_and_change_nothing():
    book = vexal.FeatureBook(pipeline(), SYMBOLS, cross=CROSS)
    book.update(bars_for(np.random.default_rng(0), 5))
    before = book.snapshot()
    good = bars_for(np.random.default_rng(1), 5)
    sector_half = good.copy()
    sector_half[2, 3] = 0.5
    for call, error, message in [
        (lambda: book.update(good[:4]), ValueError, "bars: must have one row per symbol: expected 5, got 4"),
        (lambda: book.update(good[:, :3]), ValueError, "bars"),
        (lambda: book.update(good, present=[True] * 4), ValueError,
         "present: must have one flag per symbol: expected 5, got 4"),
        (lambda: book.update(good, present=[1, 1, 1, 1, 1]), TypeError, "present[0]: must be a bool, not int"),
        (lambda: book.update(sector_half), ValueError,
         'Invalid input: groups column "sector" holds 0.5, which is not an integer group code'),
        (lambda: book.remove("ZZZ"), ValueError, 'Invalid input: symbol "ZZZ" is not in the book'),
        (lambda: book.add("AAA"), ValueError, 'Invalid input: symbol "AAA" is already in the book'),
        (lambda: book.add("NEW", vexal.FeaturePipeline([vexal.Sma(["close"], 3, ["s"])], ["close"])), ValueError,
         'Invalid input: the pipeline for "NEW" reads ["close"]'),
    ]:
        with pytest.raises(error) as caught:
            call()
        assert str(caught.value).startswith(message)
        assert book.snapshot() == before
    with pytest.raises(ValueError, match='CrossRank "x": the pipeline has no input or output named "x"'):
        vexal.FeatureBook(pipeline(), SYMBOLS, cross=[vexal.CrossRank(["x"], ["r"])])
    with pytest.raises(ValueError, match="must be one of the pipeline's input columns"):
        vexal.FeatureBook(pipeline(), SYMBOLS, cross=[vexal.CrossRank(["close"], ["r"], groups="sma")])
    for cut in (0, 12, len(before) // 2, len(before) - 1):
        with pytest.raises(ValueError, match="snapshot"):
            vexal.FeatureBook.from_snapshot(before[:cut])


def reference(kind, x):
    """The cross features of one group in plain Python: pandas' rank, math.fsum's sums."""
    x = pd.Series(x, dtype=float)
    valid = x[np.isfinite(x)]
    out = pd.Series(np.nan, index=x.index)
    if kind == "CrossRank":
        out[valid.index] = valid.rank(method="average", pct=True)
        return out.to_numpy()
    n = len(valid)
    if n == 0:
        return out.to_numpy()
    mean = math.fsum(valid) / n
    if kind == "CrossDemean":
        out[valid.index] = [v - mean for v in valid]
    elif n > 1:
        sd = math.sqrt(math.fsum((v - mean) ** 2 for v in valid) / (n - 1))
        out[valid.index] = [(v - mean) / sd if sd else np.nan for v in valid]
    return out.to_numpy()


@pytest.mark.parametrize("kind", ["CrossRank", "CrossZScore", "CrossDemean"])
@pytest.mark.parametrize("values", [
    [3.0, 1.0, 2.0, 2.0, np.inf],        # ties and a value that takes no part
    [1e16, 1.0, -1e16, 3.0, 0.1],        # sums that plain addition gets wrong
    [5.0, np.nan, np.nan, np.nan, np.nan],  # one symbol
    [np.nan] * 5,
    [7.0, 7.0, 7.0, 7.0, 7.0],           # no spread
], ids=["ties", "cancelling", "one", "none", "flat"])
def test_cross_features_match_pandas_and_fsum_in_any_order_and_within_groups(kind, values):
    cls = getattr(vexal, kind)
    p = vexal.FeaturePipeline([vexal.Lag(["close"], 1, ["prev"])], ["close", "sector"])
    rng = np.random.default_rng(0)
    for groups in (None, "sector"):
        sector = np.array([0, 1, 0, 1, 2], dtype=float)  # group 2 has one member
        expected = reference(kind, values) if groups is None else np.concatenate(
            [reference(kind, np.asarray(values)[sector == g]) for g in (0, 1, 2)])[np.argsort(
                np.concatenate([np.flatnonzero(sector == g) for g in (0, 1, 2)]))]
        for order in (np.arange(5), rng.permutation(5)):
            book = vexal.FeatureBook(p, [SYMBOLS[i] for i in order], cross=[cls(["close"], ["c"], groups=groups)])
            out = book.update(np.column_stack([np.asarray(values)[order], sector[order]]))[:, 1]
            assert bits(out) == bits(expected[order]), (groups, order)


@pytest.mark.parametrize("frame", ["pandas", "polars", "arrow"])
def test_research_cross_equals_a_book_fed_the_panel_date_by_date(frame):
    rng = np.random.default_rng(7)
    rows = [(s, d, *bars_for(rng, 1)[0]) for d in range(40) for s in SYMBOLS if rng.random() < 0.85]
    panel = pd.DataFrame(rows, columns=["symbol", "date", "close", "high", "low", "sector"])
    shuffled = panel.sample(frac=1, random_state=2)
    data = {"pandas": lambda: shuffled, "polars": lambda: pytest.importorskip("polars").from_pandas(shuffled),
            "arrow": lambda: pytest.importorskip("pyarrow").Table.from_pandas(shuffled, preserve_index=False)}[frame]()
    result = vexal.research(pipeline(), data, by="symbol", order_by="date", cross=CROSS)
    result = pd.DataFrame({c: np.asarray(result[c]) for c in ["symbol", "date", "sma", "rank", "z", "dm"]})
    book = vexal.FeatureBook(pipeline(), SYMBOLS, cross=CROSS)
    names = book.output_names()
    for date, day in panel.groupby("date"):
        bars = np.full((len(SYMBOLS), 4), np.nan)
        index = [SYMBOLS.index(s) for s in day["symbol"]]
        bars[index] = day[["close", "high", "low", "sector"]].to_numpy()
        present = np.isin(np.arange(len(SYMBOLS)), index)
        out = book.update(bars, present)
        got = result[result["date"] == date].set_index("symbol").loc[day["symbol"]]
        for column in ["sma", "rank", "z", "dm"]:
            assert bits(got[column]) == bits(out[index, names.index(column)]), (date, column)
        if frame == "pandas":  # the same bar from the day's rows, through the package
            bars_again, present_again = vexal.book_bars(book, day.sample(frac=1, random_state=3), by="symbol")
            assert bits(bars_again) == bits(bars) and (present_again == present).all()
    with pytest.raises(ValueError, match="cross needs by="):
        vexal.research(pipeline(), panel, cross=CROSS)
    with pytest.raises(ValueError, match="book_bars: 'ZZZ' not in the book"):
        vexal.book_bars(book, pd.DataFrame({"symbol": ["ZZZ"], "close": [1.0], "high": [1.0], "low": [1.0],
                                            "sector": [0.0]}), by="symbol")


def test_the_readme_book_example_prints_what_its_comments_say(capsys):
    import pathlib
    import re

    readme = (pathlib.Path(__file__).resolve().parent.parent / "README.md").read_text()
    [block] = re.findall(r"```python\n(.*?)```", readme.split("## A universe of symbols, live", 1)[1].split("\n## ")[0],
                         flags=re.S)
    exec(compile(block, "README.md", "exec"), {"__name__": "__main__"})
    expected = [line.split("  # ", 1)[1] for line in block.splitlines() if line.startswith("print(")]
    assert capsys.readouterr().out.splitlines() == expected
