"""vexal.research, label and dataset over DataFrames, Arrow tables, mappings and Dask: each kind gives the array
path's values bit for bit, panels give what per-group runs give, and bad calls fail saying what and where."""

import pickle
import re

import numpy as np
import pytest

import vexal
from conftest import DATA
from vexal import arrays

pd = pytest.importorskip("pandas")
pl = pytest.importorskip("polars")
pa = pytest.importorskip("pyarrow")
pytest.importorskip("narwhals")

INPUTS = ["open", "high", "low", "close"]


def features():
    return vexal.FeaturePipeline(
        [vexal.Ema(["close"], 10, ["ema"]), vexal.Sma(["close"], 5, ["sma"]), vexal.LogReturn(["close"], 1, ["ret"]),
         vexal.RollingZScore(["ret"], 8, ["ret_z"]), vexal.ParkinsonVolatility(["high", "low"], 6, ["park"])],
        INPUTS,
    )


def targets():
    return vexal.TargetPipeline([vexal.FutureReturn(["close"], 3, ["fwd"]), vexal.FutureCTCVolatility("close", 4)],
                                ["close", "open"])


@pytest.fixture(scope="module")
def bars():
    """300 SPY bars with a few absent prices, as a pandas frame with a labelled index."""
    frame = pd.read_csv(DATA, index_col=0, parse_dates=["date"]).iloc[:300]
    frame.loc[frame.index[[40, 41, 120]], "close"] = np.nan
    frame.index = frame.index * 10 + 7
    return frame


@pytest.fixture(scope="module")
def panel(bars):
    """Three symbols of 100 bars, rows shuffled, each symbol's dates intact."""
    parts = [bars.iloc[i * 100:(i + 1) * 100].assign(symbol=s) for i, s in enumerate(["A", "B", "C"])]
    return pd.concat(parts).sample(frac=1, random_state=3)


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float64).view(np.uint64)


def as_numpy(result, names):
    if isinstance(result, pl.LazyFrame):
        result = result.collect()
    if isinstance(result, pd.DataFrame):
        return result[names].to_numpy()
    if isinstance(result, pl.DataFrame):
        return result.select(names).to_numpy()
    if isinstance(result, pa.Table):
        return np.column_stack([result[n].to_numpy() for n in names])
    if isinstance(result, dict):
        return np.column_stack([result[n] for n in names])
    return result


def nulls(result, names):
    if isinstance(result, pl.LazyFrame):
        result = result.collect()
    if isinstance(result, pl.DataFrame):
        return sum(result[n].null_count() for n in names)
    if isinstance(result, pa.Table):
        return sum(result[n].null_count for n in names)
    return 0


KINDS = {
    "pandas": lambda f: f,
    "polars": lambda f: pl.from_pandas(f),
    "polars-lazy": lambda f: pl.from_pandas(f).lazy(),
    "arrow": lambda f: pa.Table.from_pandas(f, preserve_index=False),
    "mapping": lambda f: {c: f[c].to_numpy() for c in f.columns},
}
CALLS = {
    "research": (lambda d, **kw: vexal.research(features(), d, **kw), lambda x: arrays.research(features(), x)),
    "label": (lambda d, **kw: vexal.label(targets(), d, **kw),
              lambda x: arrays.label(targets(), x[:, [3, 0]])),
    "dataset": (lambda d, **kw: vexal.dataset(features(), targets(), d, **kw),
                lambda x: np.hstack([arrays.research(features(), x), arrays.label(targets(), x[:, [3, 0]])])),
}


def names_of(call):
    out = []
    if call != "label":
        out += features().output_names()
    if call != "research":
        out += targets().output_names()
    return out


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("kind", KINDS)
def test_every_kind_gives_the_array_path_bit_for_bit(bars, kind, call):
    run, reference = CALLS[call]
    data = KINDS[kind](bars)
    result = run(data)
    expected = reference(bars[INPUTS].to_numpy())
    names = names_of(call)
    assert type(result) is type(data)
    assert np.array_equal(bits(as_numpy(result, names)), bits(expected))
    if kind in ("polars", "polars-lazy", "arrow"):
        # Absent is null there, never NaN.
        assert nulls(result, names) == np.isnan(expected).sum() > 0
    if kind == "pandas":
        assert result.index.equals(bars.index) and list(result.columns) == names


def test_a_numpy_array_in_gives_the_array_path_out(bars):
    x = bars[INPUTS].to_numpy()
    assert np.array_equal(bits(vexal.research(features(), x)), bits(arrays.research(features(), x)))
    x_dataset = bars[["open", "high", "low", "close"]].to_numpy()
    assert vexal.dataset(features(), targets(), x_dataset).shape == (300, 7)


def per_group(frame, by, order_by):
    """The list path over each group's rows in date order, scattered back to the frame's rows."""
    fp, tp = features(), targets()
    out = pd.DataFrame(np.nan, index=frame.index, columns=fp.output_names() + tp.output_names())
    for _, group in frame.groupby(by, sort=False):
        group = group.sort_values(order_by, kind="stable") if order_by else group
        rows = fp.run_research(group[INPUTS].to_numpy().tolist())
        labels = tp.run_research([group["close"].tolist(), group["open"].tolist()])
        out.loc[group.index] = np.hstack([np.array(rows), np.array(labels).T])
    return out


@pytest.mark.parametrize("workers", [1, 2, 3])
@pytest.mark.parametrize("kind", ["pandas", "polars", "arrow"])
@pytest.mark.parametrize("order_by", ["date", None])
def test_panels_equal_per_group_runs_in_the_input_row_order(panel, kind, workers, order_by):
    result = vexal.dataset(features(), targets(), KINDS[kind](panel), by="symbol", order_by=order_by,
                           workers=workers)
    expected = per_group(panel, "symbol", order_by)
    names = list(expected.columns)
    assert np.array_equal(bits(as_numpy(result, names)), bits(expected.to_numpy()))
    keys = ["symbol", "date"] if order_by else ["symbol"]
    assert (result.column_names if kind == "arrow" else list(result.columns)) == keys + names
    if kind == "pandas":
        assert result.index.equals(panel.index) and result["symbol"].equals(panel["symbol"])


# Categories listed against the order the symbols appear in, one never used.
CATEGORIES = pd.CategoricalDtype(["Z", "C", "B", "A"])


@pytest.mark.parametrize("layout", ["date-major", "symbol-major", "a late newcomer", "one missing", "all missing"])
def test_categorical_codes_are_numbered_as_factorizing_numbers_them(layout):
    from vexal.frames.codes import in_appearance_order

    symbols = {"date-major": list("CBAD") * 100, "symbol-major": sorted(list("CBAD") * 100, reverse=True),
               "a late newcomer": list("CBA") * 100 + ["D"] + list("CBA") * 100,
               "one missing": [None] + sorted(list("CBAD") * 100), "all missing": [None] * 9}[layout]
    column = pd.Series(pd.Categorical(symbols, categories=["Z", "D", "C", "B", "A"]))
    quick = in_appearance_order(column.cat.codes.to_numpy())
    if layout == "a late newcomer":
        assert quick is None  # many runs, and the first rows miss a code: left to factorizing
    else:
        assert np.array_equal(quick, pd.factorize(column, sort=False)[0])


@pytest.mark.parametrize("key", ["str", "category"])
@pytest.mark.parametrize("layout", ["date-major", "symbol-major"])
@pytest.mark.parametrize("kind", ["pandas", "polars"])
def test_interleaved_and_block_groups_equal_per_group_runs(panel, layout, kind, key):
    # Rows of a group every third row (gathered and scattered), or in one block (read and written in place).
    ordered = panel.sort_values(["date", "symbol"] if layout == "date-major" else ["symbol", "date"])
    if key == "category":
        ordered = ordered.astype({"symbol": CATEGORIES})
    result = vexal.dataset(features(), targets(), KINDS[kind](ordered), by="symbol", workers=2)
    expected = per_group(ordered, "symbol", None)
    assert np.array_equal(bits(as_numpy(result, list(expected.columns))), bits(expected.to_numpy()))


@pytest.fixture(scope="module")
def shared_dates(bars):
    """20 symbols (more than run together) over the same 40 dates, date-major: their rows take turns."""
    parts = [bars.iloc[:40].assign(symbol=f"S{k:02d}", close=bars["close"].iloc[k:k + 40].to_numpy())
             for k in range(20)]
    frame = pd.concat(parts).sort_values(["date", "symbol"], kind="stable").set_index(np.arange(800) * 3)
    # An integer key of either sign that runs against the rows.
    return frame.assign(countdown=np.repeat(np.arange(20, -20, -1), 20))


@pytest.mark.parametrize("workers", [1, 2])
@pytest.mark.parametrize("order_by", [None, "date", "countdown"])
@pytest.mark.parametrize("shape", ["turns", "one row missing", "rows shuffled"])
def test_date_major_panels_equal_per_group_runs(shared_dates, workers, order_by, shape):
    frame = {"turns": shared_dates, "one row missing": shared_dates.drop(index=57 * 3),
             "rows shuffled": shared_dates.sample(frac=1, random_state=5)}[shape]
    result = vexal.dataset(features(), targets(), frame, by="symbol", order_by=order_by, workers=workers)
    expected = per_group(frame, "symbol", order_by)
    assert np.array_equal(bits(as_numpy(result, list(expected.columns))), bits(expected.to_numpy()))
    assert result.index.equals(frame.index)


@pytest.mark.parametrize("fault", ["repeated", "missing"])
def test_a_date_major_panel_names_the_row_whose_date_is_wrong(shared_dates, fault):
    # Position 20 * d + s is symbol s's bar of date d; S03's tenth date repeats its ninth, or S05's is missing.
    frame = shared_dates.copy()
    column = frame.columns.get_loc("date")
    if fault == "repeated":
        frame.iloc[203, column] = frame.iloc[183, column]
        message = (f"research: 'date' is not strictly increasing in group symbol='S03': row 203 repeats the value "
                   f"{frame.iloc[183, column]} of row 183 (duplicates='last' keeps the last of equal rows)")
    else:
        frame.iloc[205, column] = pd.NaT
        message = "research: 'date' is missing at row 205 in group symbol='S05'"
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
        vexal.research(features(), frame, by="symbol", order_by="date")


@pytest.mark.parametrize("dropna", [None, "warmup"])
def test_a_pandas_index_with_repeated_labels_is_kept_as_it_is(panel, dropna):
    repeated = panel.set_index(pd.Index(np.arange(len(panel)) % 7, name="k"))
    result = vexal.research(features(), repeated, by="symbol", order_by="date", dropna=dropna)
    expected = vexal.research(features(), panel, by="symbol", order_by="date", dropna=dropna)
    assert result.index.equals(repeated.index[panel.index.get_indexer(expected.index)])
    assert result.index.name == "k" and result.reset_index(drop=True).equals(expected.reset_index(drop=True))


def test_several_keys_make_one_group_per_combination(panel):
    two = panel.assign(venue=np.where(panel.index % 20 < 10, "X", "Y"))
    result = vexal.research(features(), two, by=["symbol", "venue"], order_by="date", workers=2)
    fp = features()
    for (symbol, venue), group in two.groupby(["symbol", "venue"]):
        group = group.sort_values("date")
        expected = np.array(fp.run_research(group[INPUTS].to_numpy().tolist()))
        assert np.array_equal(bits(result.loc[group.index, fp.output_names()].to_numpy()), bits(expected))


def duplicated(panel):
    """Symbol B's bar of 2000-04-07 appears twice, the copy with other prices and a later row."""
    b = panel[panel["symbol"] == "B"].sort_values("date")
    copy = b.iloc[[10]].assign(close=b["close"].iloc[10] + 1.0)
    copy.index = [99999]
    return pd.concat([panel, copy]), b.index[10]


def test_a_repeated_timestamp_is_refused_naming_the_group_and_the_rows(panel):
    data, first = duplicated(panel)
    rows = list(data.index)
    message = (f"research: 'date' is not strictly increasing in group symbol='B': row {len(rows) - 1} repeats "
               f"the value 2000-04-07 00:00:00 of row {rows.index(first)} "
               f"(duplicates='last' keeps the last of equal rows)")
    for kind in ("pandas", "polars"):
        with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
            vexal.research(features(), KINDS[kind](data), by="symbol", order_by="date")


def test_duplicates_last_keeps_the_last_of_equal_rows(panel):
    data, first = duplicated(panel)
    result = vexal.research(features(), data, by="symbol", order_by="date", duplicates="last")
    kept = data.drop(index=first)
    assert result.index.equals(kept.index)
    expected = per_group(kept, "symbol", "date")[features().output_names()]
    assert np.array_equal(bits(result[expected.columns].to_numpy()), bits(expected.to_numpy()))


def test_a_missing_order_or_group_key_is_refused(panel):
    data = panel.copy()
    data.loc[data.index[5], "date"] = pd.NaT
    with pytest.raises(ValueError, match=r"^research: 'date' is missing at row 5 in group symbol='[ABC]'$"):
        vexal.research(features(), data, by="symbol", order_by="date")
    for data in (panel.copy(), panel.sort_values("symbol").astype({"symbol": CATEGORIES})):
        data.loc[data.index[7], "symbol"] = None
        with pytest.raises(ValueError, match=r"^research: the key 'symbol' is missing at row 7$"):
            vexal.research(features(), data, by="symbol")


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda f: vexal.research(features(), f.drop(columns=["high", "low"])), ValueError,
         "research: the data has no column 'high', 'low' (columns: date, open, close, volume, symbol)"),
        (lambda f: vexal.label(targets(), f, by="sector"), ValueError,
         "label: the data has no column 'sector' (columns: date, open, high, low, close, volume, symbol)"),
        (lambda f: vexal.research(features(), f.assign(open=f["symbol"])), TypeError,
         "research: column 'open' is not numeric (dtype String)"),
        (lambda f: vexal.research(features(), {"open": [1.0], "high": ["x"], "low": [1.0], "close": [1.0]}),
         TypeError, "research: column 'high' is not numeric (dtype <U1)"),
        (lambda f: vexal.research(features(), {"open": [1.0, 2.0], "close": [1.0]}), ValueError,
         "research: the columns differ in length: 'open' has 2, 'close' has 1"),
        (lambda f: vexal.research(features(), f[INPUTS].to_numpy(), by="symbol"), ValueError,
         "research: by and order_by need named columns; a numpy array has none"),
        (lambda f: vexal.research(features(), f[["open", "close"]].to_numpy()), ValueError,
         "research: a numpy array must have shape (bars, 4), one column per input "
         "['open', 'high', 'low', 'close'], got shape (300, 2)"),
        (lambda f: vexal.research(features(), {1.0, 2.0}), TypeError,
         "research: data must be a pandas or polars DataFrame, a polars LazyFrame, a pyarrow Table, a Dask "
         "DataFrame, a 2-D numpy array or a mapping of column name to 1-D array, not set"),
        (lambda f: vexal.research(features(), f, out=np.empty((300, 5))), TypeError,
         "research: out is for a numpy array without dropna; this call builds its result"),
        (lambda f: vexal.research(targets(), f), TypeError, "research: features must be a FeaturePipeline, "
         "not TargetPipeline"),
        (lambda f: vexal.dataset(features(), features(), f), TypeError,
         "dataset: targets must be a TargetPipeline, not FeaturePipeline"),
        (lambda f: vexal.research(None, f), TypeError, "research: features must be a FeaturePipeline, not NoneType"),
        (lambda f: vexal.label(None, f), TypeError, "label: targets must be a TargetPipeline, not NoneType"),
        (lambda f: vexal.research(features(), f[INPUTS].to_numpy() * 1j), TypeError,
         "research: data: unsupported dtype complex128, which holds complex numbers (expected float64, float32, "
         "an integer or bool)"),
        (lambda f: vexal.label(targets(), np.zeros((3, 2), "datetime64[ns]")), TypeError,
         "label: data: unsupported dtype datetime64[ns], which holds times (expected float64, float32, an integer "
         "or bool)"),
        (lambda f: vexal.research(features(), {**{c: f[c].to_numpy() for c in INPUTS}, "low": f["low"] + 0j}),
         TypeError, "research: column 'low': unsupported dtype complex128, which holds complex numbers (expected "
         "float64, float32, an integer or bool)"),
        (lambda f: arrays.label(targets(), np.zeros((3, 2), "timedelta64[s]")), TypeError,
         "columns: unsupported dtype timedelta64[s], which holds durations (expected float64, float32, an "
         "integer or bool)"),
        (lambda f: vexal.research(features(), f, by="symbol", duplicates="first"), ValueError,
         "research: duplicates must be 'error' or 'last', got 'first'"),
        (lambda f: vexal.research(features(), f, dropna="labels"), ValueError,
         "research: dropna must be one of None, 'warmup', got 'labels'"),
        (lambda f: vexal.research(features(), f, workers=0), ValueError,
         "research: workers must be a positive integer or None, got 0"),
        (lambda f: vexal.research(features(), f, by=[]), TypeError,
         "research: by must be a column name or a non-empty list of column names, got []"),
        (lambda f: vexal.research(features(), f, by="symbol", order_by="symbol"), ValueError,
         "research: order_by 'symbol' is also a key of by"),
        (lambda f: vexal.dataset(features(), vexal.TargetPipeline([vexal.FutureReturn(["close"], 1, ["sma"])],
                                                                  ["close"]), f), ValueError,
         "dataset: the output name(s) 'sma' appear twice among the outputs and key columns"),
    ],
)
def test_bad_calls_say_what_is_wrong(bars, call, error, message):
    frame = bars.reset_index(drop=True).assign(symbol="A")
    frame["symbol"] = frame["symbol"].astype("string")
    with pytest.raises(error, match=f"^{re.escape(message)}$"):
        call(frame)


def test_a_refused_array_leaves_a_live_pipeline_as_it_was(bars):
    fp, twin = features(), features()
    x = bars[INPUTS].to_numpy()
    for bar in x[:20].tolist():
        fp.update(bar)
        twin.update(bar)
    with pytest.raises(TypeError):
        vexal.research(fp, x * 1j)
    with pytest.raises(TypeError):
        arrays.research(fp, x.astype("datetime64[s]"))
    assert fp.update(x[20].tolist()) == twin.update(x[20].tolist())


@pytest.fixture(scope="module")
def uneven():
    """Many one-bar symbols, a few short ones and two longer than a chunk, every row shuffled."""
    rng = np.random.default_rng(11)
    sizes = [1] * 700 + [3] * 40 + [5000, 9000]
    close = 100 + np.cumsum(rng.normal(size=sum(sizes)))
    spread = rng.random(len(close))
    frame = pd.DataFrame({"symbol": np.repeat([f"S{k}" for k in range(len(sizes))], sizes),
                          "date": np.concatenate([np.arange(n) for n in sizes]), "open": close + spread - 0.5,
                          "high": close + spread, "low": close - spread, "close": close})
    frame.loc[rng.choice(len(frame), 50), "close"] = np.nan
    return frame.sample(frac=1, random_state=2)


@pytest.mark.parametrize("workers", [1, 2])
@pytest.mark.parametrize("batch", [7, 1 << 16])
@pytest.mark.parametrize("order", ["shuffled", "symbol-major"])
def test_batches_of_groups_equal_per_group_runs(uneven, monkeypatch, workers, batch, order):
    from vexal.frames import panels

    monkeypatch.setattr(panels, "BATCH", batch)
    monkeypatch.setattr(panels, "BATCH_MIN", min(batch, panels.BATCH_MIN))
    frame = uneven if order == "shuffled" else uneven.sort_values(["symbol", "date"])
    result = vexal.dataset(features(), targets(), frame, by="symbol", order_by="date", workers=workers,
                           dropna="both")
    expected = vexal.dataset(features(), targets(), frame, by="symbol", order_by="date", workers=workers)
    full = per_group(frame, "symbol", "date")
    assert np.array_equal(bits(expected[full.columns].to_numpy()), bits(full.to_numpy()))
    # dropna keeps, per group, the rows from its first complete features to its last complete labels.
    sorted_ = full.assign(symbol=frame["symbol"], date=frame["date"]).sort_values(["symbol", "date"])
    keep = []
    for _, group in sorted_.groupby("symbol", sort=False):
        feats = group[features().output_names()].notna().all(axis=1).to_numpy()
        labels = group[targets().output_names()].notna().all(axis=1).to_numpy()
        if feats.any() and labels.any():
            keep += list(group.index[np.argmax(feats):len(labels) - np.argmax(labels[::-1])])
    assert result.index.equals(frame.index[frame.index.isin(keep)])
    assert np.array_equal(bits(result[full.columns].to_numpy()), bits(full.loc[result.index].to_numpy()))


def test_dask_names_rows_by_index_label_not_by_their_place_in_a_partition(panel):
    dd = pytest.importorskip("dask.dataframe")
    frame = panel.copy()
    b = frame.index[frame["symbol"] == "B"]
    frame.loc[b[10], "date"] = frame.loc[b[11], "date"]
    lazy = vexal.research(features(), dd.from_pandas(frame, npartitions=3), by="symbol", order_by="date")
    either = f"({b[10]}|{b[11]})"
    with pytest.raises(ValueError, match=f"^research: 'date' is not strictly increasing in group symbol='B': the "
                                         f"row labelled {either} repeats the value {frame.loc[b[11], 'date']} of "
                                         f"the row labelled {either} "):
        lazy.compute(scheduler="sync")


@pytest.mark.parametrize("kind", ["pandas", "polars", "mapping"])
@pytest.mark.parametrize("dropna", [None, "warmup", "labels", "both"])
def test_dropna_drops_the_warm_up_and_the_unlabelled_tail_of_each_group(panel, kind, dropna):
    result = vexal.dataset(features(), targets(), KINDS[kind](panel), by="symbol", order_by="date", dropna=dropna)
    expected = per_group(panel, "symbol", "date")
    keep = pd.Series(True, index=panel.index)
    for _, group in expected.groupby(panel["symbol"]):
        group = group.loc[panel.loc[group.index].sort_values("date").index]
        feats = group[features().output_names()].notna().all(axis=1).to_numpy()
        labels = group[targets().output_names()].notna().all(axis=1).to_numpy()
        if dropna in ("warmup", "both"):
            keep[group.index[:np.argmax(feats)]] = False
        if dropna in ("labels", "both"):
            keep[group.index[len(labels) - np.argmax(labels[::-1]):]] = False
    expected = expected[keep]
    assert len(expected) == {None: 300, "warmup": 300 - 3 * 9, "labels": 300 - 3 * 4, "both": 300 - 3 * 13}[dropna]
    assert np.array_equal(bits(as_numpy(result, list(expected.columns))), bits(expected.to_numpy()))
    if kind == "pandas":
        assert result.index.equals(expected.index)


def test_progress_shows_one_step_per_group(panel, capsys):
    pytest.importorskip("tqdm")
    vexal.research(features(), panel, by="symbol", progress=True, workers=2)
    assert re.search(r"3/3 \[", capsys.readouterr().err)


class Bar:
    def __init__(self, total):
        self.total, self.steps, self.closed = total, [], False

    def update(self, n):
        self.steps.append(n)

    def close(self):
        self.closed = True


@pytest.mark.parametrize("workers", [1, 2])
@pytest.mark.parametrize("what", ["research", "dataset"])
@pytest.mark.parametrize("kind", ["numpy", "mapping", "pandas", "order_by"])
def test_progress_over_one_series_moves_by_slices_and_changes_nothing(bars, kind, what, workers, monkeypatch):
    # One series spreads its transforms over the workers: the same bits as one thread.
    from vexal.frames import panels

    bars = bars.iloc[::-1] if kind == "order_by" else bars
    data = {"numpy": bars[INPUTS].to_numpy(), "mapping": {n: bars[n].to_numpy() for n in INPUTS}}.get(kind, bars)
    if what == "dataset" and kind == "numpy":
        pytest.skip("a numpy array holds the inputs of one pipeline")
    call = vexal.research if what == "research" else lambda f, *a, **k: vexal.dataset(f, targets(), *a, **k)
    kw = {"order_by": "date"} if kind == "order_by" else {}
    expected = call(features(), data, workers=1, **kw)
    shown = []
    monkeypatch.setattr(panels, "SLICE", 64)
    monkeypatch.setattr(panels, "progress_bar", lambda on, total, unit: shown.append(Bar(total)) or shown[-1])
    got = call(features(), data, progress=True, workers=workers, **kw)
    names = features().output_names() + (targets().output_names() if what == "dataset" else [])
    assert np.array_equal(bits(as_numpy(got, names)), bits(as_numpy(expected, names)))
    [bar] = shown
    feature_steps = [64] * 4 + [300 - 4 * 64]
    assert bar.steps[:5] == feature_steps and sum(bar.steps) == bar.total == 300 and bar.closed


def pipelines_pickle():
    try:
        pickle.dumps(features())
    except TypeError:
        return False
    return True


@pytest.mark.skipif(not pipelines_pickle(), reason="copies of a pipeline come from pickling")
@pytest.mark.parametrize("workers", [1, 2])
def test_the_callers_pipeline_keeps_its_live_state(panel, workers):
    bars = panel[INPUTS].to_numpy().tolist()
    fp, fresh = features(), features()
    for bar in bars[:30]:
        fp.update(bar)
        fresh.update(bar)
    vexal.research(fp, panel, by="symbol", workers=workers)
    assert [fp.update(bar) for bar in bars[30:40]] == [fresh.update(bar) for bar in bars[30:40]]


@pytest.mark.skipif(not pipelines_pickle(), reason="needs pipelines that pickle, to ship them to workers")
def test_dask_on_a_two_process_cluster_gives_the_local_result(panel):
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    local = vexal.dataset(features(), targets(), panel, by="symbol", order_by="date", dropna="warmup")
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) \
            as cluster, distributed.Client(cluster):
        lazy = vexal.dataset(features(), targets(), dd.from_pandas(panel, npartitions=3), by="symbol",
                             order_by="date", dropna="warmup")
        assert isinstance(lazy, dd.DataFrame)
        assert list(lazy.columns) == list(local.columns)
        computed = lazy.compute()
        # Dask holds strings in its own dtype; the meta must be exactly what the workers return.
        assert computed.dtypes.equals(lazy._meta.dtypes) and computed.index.dtype == lazy._meta.index.dtype
        remote = computed.loc[local.index]
        single = vexal.research(features(), dd.from_pandas(panel.sort_values("date"), npartitions=2)).compute()
    assert np.array_equal(bits(remote[local.columns[2:]].to_numpy()), bits(local[local.columns[2:]].to_numpy()))
    expected = vexal.research(features(), panel.sort_values("date"))
    assert np.array_equal(bits(single.to_numpy()), bits(expected.to_numpy()))


def test_the_readme_frame_examples_print_what_their_comments_say(capsys):
    readme = (DATA.parents[3] / "README.md").read_text()
    section = readme.split("## DataFrames, panels and clusters", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(r"```python\n(.*?)```", section, flags=re.S)
    assert len(blocks) == 3
    namespace = {"__name__": "__main__"}
    for i, block in enumerate(blocks):
        if i == 2 and not pipelines_pickle():
            pytest.skip("the Dask example ships pipelines to worker processes: they must pickle")
        expected = [line.split("  # ", 1)[1] for line in block.splitlines() if line.strip().startswith("print(")]
        exec(compile(block, "README.md", "exec"), namespace)
        assert capsys.readouterr().out.splitlines() == expected


@pytest.mark.parametrize("values", [
    np.array([3.0, np.nan, 1.0, 3.0]),
    np.array(["b", None, "a", "b"], dtype=object),
    np.array(["2020-01-02", "NaT", "2020-01-01", "2020-01-02"], dtype="datetime64[ns]"),
    np.array([5, 7, 5, 1]),
])
@pytest.mark.parametrize("sort", [True, False])
def test_key_codes_without_pandas_match_pandas(monkeypatch, values, sort):
    from vexal.frames.codes import codes

    with_pandas = codes(values, sort)
    monkeypatch.setitem(__import__("sys").modules, "pandas", None)
    without = codes(values, sort)
    # Equal keys share a code, absent is -1, and sorted codes rise with the values.
    assert np.array_equal(with_pandas < 0, without < 0)
    assert np.array_equal(with_pandas[:, None] == with_pandas, without[:, None] == without)
    if sort:
        assert np.array_equal(with_pandas, without)


# -- index levels as keys, and time that runs backwards ------------------------------

@pytest.mark.parametrize("index, by", [("date", None), (["symbol", "date"], "symbol"), (["date", "symbol"], "symbol")])
def test_index_levels_serve_as_keys_and_stay_in_the_index(panel, index, by):
    f = features()
    expected = vexal.research(f, panel, by=by, order_by="date")
    frame = panel if by else panel[panel["symbol"] == "A"]
    if not by:
        expected = vexal.research(f, frame, order_by="date")
    got = vexal.research(f, frame.set_index(index), by=by, order_by="date")
    names = f.output_names()
    assert got.columns.tolist() == names and list(got.index.names) == ([index] if isinstance(index, str) else index)
    assert np.array_equal(bits(got[names]), bits(expected[names]))
    assert got.index.equals(frame.set_index(index).index)  # rows in the caller's order


def test_a_column_wins_over_an_index_level_of_the_same_name(bars):
    f = features()
    # The index counts down, the column up: the column orders the rows.
    frame = bars.set_index(pd.Index(bars["date"].to_numpy()[::-1], name="date"))
    got = vexal.research(f, frame, order_by="date")
    assert np.array_equal(bits(got[f.output_names()]), bits(vexal.research(f, bars, order_by="date")[f.output_names()]))
    with pytest.raises(ValueError) as info:
        vexal.research(f, bars.set_index("date"), by="sym")
    assert str(info.value) == ("research: the data has no column 'sym' (columns: open, high, low, close, volume; "
                               "index levels: date)")


def test_a_datetime_index_running_backwards_is_refused_naming_order_by(bars, panel):
    f = features()
    before = f.snapshot()
    backwards = bars.set_index("date").iloc[::-1]
    with pytest.raises(ValueError) as info:
        vexal.research(f, backwards)
    assert str(info.value) == ("research: the rows are not in time order: the index steps back from "
                               "2001-01-08 00:00:00 at row 0 to 2001-01-05 00:00:00 at row 1; pass order_by='date' "
                               "to sort the rows by it")
    with pytest.raises(ValueError, match=r"not in time order within symbol='\w': .* pass order_by='date'"):
        vexal.dataset(f, targets(), panel.set_index("date"), by="symbol")
    assert f.snapshot() == before
    # Rows already in time order, repeated times, or an explicit order_by, pass.
    assert len(vexal.research(f, backwards, order_by="date")) == len(bars)
    assert len(vexal.research(f, panel.sort_values("date").set_index("date"), by="symbol")) == len(panel)
    assert len(vexal.research(f, pl.from_pandas(backwards.reset_index()))) == len(bars)
