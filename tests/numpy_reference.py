"""Independent references for every transform and target, written from the
mathematics with numpy, bar for bar and in the same order of operations as
the native code, so that results can be compared to the last bit.

Conventions: a series is a 1-D float64 array in which NaN marks a missing
value (exactly what the Python boundary does); infinities are present
values. Sums run oldest to newest starting from 0.0 (``seq_sum``), never
pairwise, so rounding matches a plain loop. Logarithms are the C library's
(``math.log``): numpy's vectorised log may differ from it in the last bit.
"""

import math

import numpy as np

NAN = math.nan


def seq_sum(values) -> float:
    """Left-to-right sum from 0.0 (np.add.accumulate never regroups)."""
    arr = np.asarray(values, dtype=np.float64)
    if arr.size == 0:
        return 0.0
    with np.errstate(all="ignore"):
        return float(np.add.accumulate(np.concatenate(([0.0], arr)))[-1])


def div(a: float, b: float) -> float:
    """IEEE division (Python's own raises on a zero divisor)."""
    with np.errstate(all="ignore"):
        return float(np.divide(np.float64(a), np.float64(b)))


def sqrt(x: float) -> float:
    with np.errstate(all="ignore"):
        return float(np.sqrt(np.float64(x)))


def ln(x: float) -> float:
    """The C library's natural logarithm with IEEE results at the edges."""
    if math.isnan(x):
        return NAN
    if x == 0.0:
        return -math.inf
    if x < 0.0:
        return NAN
    return math.log(x)


def mul(a: float, b: float) -> float:
    with np.errstate(all="ignore"):
        return float(np.multiply(np.float64(a), np.float64(b)))


def sub(a: float, b: float) -> float:
    with np.errstate(all="ignore"):
        return float(np.subtract(np.float64(a), np.float64(b)))


def add(a: float, b: float) -> float:
    with np.errstate(all="ignore"):
        return float(np.add(np.float64(a), np.float64(b)))


def present(x: float) -> bool:
    return not math.isnan(x)


def windows(x: np.ndarray, w: int):
    """(t, window ending at t) for every bar with a full window."""
    for t in range(w - 1, len(x)):
        yield t, x[t - w + 1 : t + 1]


def mean_m2(win: np.ndarray) -> tuple[float, float]:
    """Two passes: the mean, then the squared deviations from it."""
    n = float(len(win))
    mean = div(seq_sum(win), n)
    with np.errstate(all="ignore"):
        d = win - mean
        m2 = seq_sum(d * d)
    return mean, m2


# -- features ---------------------------------------------------------------------------


def sma(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    for t, win in windows(x, w):
        if np.all(~np.isnan(win)):
            out[t] = div(seq_sum(win), float(w))
    return out


def ema(x, w):
    alpha = 2.0 / (float(w) + 1.0)
    keep = 1.0 - alpha
    out = np.full(len(x), NAN)
    current = None
    seed: list[float] = []
    for t, v in enumerate(np.asarray(x, dtype=np.float64)):
        if current is not None:
            if present(v):
                current = add(mul(keep, current), mul(alpha, v))
                out[t] = current
            else:
                current = None
            continue
        seed.append(v)
        seed = seed[-w:]
        if len(seed) == w and all(present(s) for s in seed):
            current = div(seq_sum(seed), float(w))
            seed = []
            out[t] = current
    return out


def kama(x, w, fast=2, slow=30):
    fast_sc = 2.0 / (float(fast) + 1.0)
    slow_sc = 2.0 / (float(slow) + 1.0)
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    previous = None
    for t in range(len(x)):
        if t < w:
            continue
        q = x[t - w : t + 1]
        if np.any(np.isnan(q)):
            previous = None
            continue
        change = abs(sub(q[w], q[0]))
        with np.errstate(all="ignore"):
            volatility = seq_sum(np.abs(np.diff(q)))
        er = div(change, volatility) if volatility > 0.0 else 0.0
        sc = add(mul(sub(fast_sc, slow_sc), er), slow_sc)
        sc = mul(sc, sc)
        base = previous if previous is not None else q[w - 1]
        previous = add(mul(sub(q[w], base), sc), base)
        out[t] = previous
    return out


def simple_return(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    for t in range(w, len(x)):
        old, new = x[t - w], x[t]
        if present(old) and present(new) and old > 0.0:
            out[t] = div(sub(new, old), old)
    return out


def log_return(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    for t in range(w, len(x)):
        old, new = x[t - w], x[t]
        if present(old) and present(new) and old > 0.0 and new > 0.0:
            out[t] = ln(div(new, old))
    return out


def _standardised(win):
    mean, m2 = mean_m2(win)
    n = float(len(win))
    variance = div(m2, n - 1.0)
    if variance == 0.0:
        return None
    s = sqrt(variance)
    with np.errstate(all="ignore"):
        return (win - mean) / s


def skewness(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    n = float(w)
    for t, win in windows(x, w):
        if np.any(np.isnan(win)):
            continue
        z = _standardised(win)
        if z is None:
            continue
        with np.errstate(all="ignore"):
            s3 = seq_sum((z * z) * z)
        out[t] = mul(div(n, mul(n - 1.0, n - 2.0)), s3)
    return out


def kurtosis(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    n = float(w)
    a = (n * (n + 1.0)) / (((n - 1.0) * (n - 2.0)) * (n - 3.0))
    b = (3.0 * ((n - 1.0) * (n - 1.0))) / ((n - 2.0) * (n - 3.0))
    for t, win in windows(x, w):
        if np.any(np.isnan(win)):
            continue
        z = _standardised(win)
        if z is None:
            continue
        with np.errstate(all="ignore"):
            zz = z * z
            s4 = seq_sum(zz * zz)
        out[t] = sub(mul(s4, a), b)
    return out


def _ols(wx, wy):
    """(slope, r2) of y on x over one complete window, or None for constant x."""
    n = float(len(wx))
    mean_x = div(seq_sum(wx), n)
    mean_y = div(seq_sum(wy), n)
    with np.errstate(all="ignore"):
        dx = wx - mean_x
        dy = wy - mean_y
        sxx = seq_sum(dx * dx)
        sxy = seq_sum(dy * dx)
        syy = seq_sum(dy * dy)
    if sxx == 0.0:
        return None
    slope = div(sxy, sxx)
    r2 = div(mul(sxy, sxy), mul(syy, sxx)) if syy != 0.0 else NAN
    return slope, r2


def linear_slope(x, y, w):
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    out = np.full((len(x), 2), NAN)
    for t in range(w - 1, len(x)):
        wx, wy = x[t - w + 1 : t + 1], y[t - w + 1 : t + 1]
        if np.any(np.isnan(wx)) or np.any(np.isnan(wy)):
            continue
        fit = _ols(wx, wy)
        if fit is not None:
            out[t] = fit
    return out


FOUR_LN_2 = 2.772588722239781


def parkinson_terms(high, low):
    terms = np.full(len(high), NAN)
    for t, (h, lo) in enumerate(zip(high, low)):
        if present(h) and present(lo) and h > 0.0 and lo > 0.0 and h >= lo:
            r = ln(div(h, lo))
            terms[t] = mul(r, r)
    return terms


def rogers_satchell_terms(high, low, open_, close):
    terms = np.full(len(high), NAN)
    for t, (h, lo, o, c) in enumerate(zip(high, low, open_, close)):
        if not all(present(v) for v in (h, lo, o, c)):
            continue
        if h > 0.0 and lo > 0.0 and o > 0.0 and h >= lo and c > 0.0:
            terms[t] = add(mul(ln(div(lo, o)), ln(div(lo, c))), mul(ln(div(h, o)), ln(div(h, c))))
    return terms


def _window_mean(terms, w):
    out = np.full(len(terms), NAN)
    for t, win in windows(terms, w):
        if np.all(~np.isnan(win)):
            out[t] = div(seq_sum(win), float(w))
    return out


def parkinson(high, low, w):
    means = _window_mean(parkinson_terms(high, low), w)
    return np.array([sqrt(div(m, FOUR_LN_2)) if present(m) else NAN for m in means])


def rogers_satchell(high, low, open_, close, w):
    means = _window_mean(rogers_satchell_terms(high, low, open_, close), w)
    return np.array([sqrt(m) if present(m) and m >= 0.0 else NAN for m in means])


def subtract(a, b):
    return np.array([sub(x, y) if present(x) and present(y) else NAN for x, y in zip(a, b)])


def neg_log(x):
    return np.array([-ln(v) if present(v) and v > 0.0 else NAN for v in x])


def fixed_zscore(x, mean, std):
    return np.array([div(sub(v, mean), std) if present(v) else NAN for v in x])


def rolling_zscore(x, w):
    x = np.asarray(x, dtype=np.float64)
    out = np.full(len(x), NAN)
    for t, win in windows(x, w):
        if np.any(np.isnan(win)):
            continue
        mean, m2 = mean_m2(win)
        variance = div(m2, float(w) - 1.0)
        if variance > 0.0:
            out[t] = div(sub(x[t], mean), sqrt(variance))
    return out


def fit_standard_scaler(data):
    valid = np.asarray([v for v in data if present(v)], dtype=np.float64)
    if valid.size < 2:
        return None
    mean, m2 = mean_m2(valid)
    variance = div(m2, float(valid.size) - 1.0)
    if variance == 0.0:
        return None
    return mean, sqrt(variance)


# -- targets ----------------------------------------------------------------------------


def future_return(close, h):
    close = np.asarray(close, dtype=np.float64)
    n = len(close)
    out = np.full(n, NAN)
    for t in range(n - h if h < n else 0):
        now, later = close[t], close[t + h]
        if present(now) and now > 0.0 and present(later):
            out[t] = div(sub(later, now), now)
    return out


def future_ctc_volatility(close, h):
    close = np.asarray(close, dtype=np.float64)
    n = len(close)
    r = np.full(n, NAN)
    for t in range(1, n):
        a, b = close[t - 1], close[t]
        if present(a) and present(b) and a > 0.0 and b > 0.0:
            r[t] = ln(div(b, a))
    out = np.full(n, NAN)
    for t in range(n - h):
        win = r[t + 1 : t + h + 1]
        if len(win) == h and np.all(~np.isnan(win)):
            _, m2 = mean_m2(win)
            out[t] = sqrt(div(m2, float(h) - 1.0))
    return out


def future_linear_slope(x, y, h):
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    n = len(x)
    slope, r2 = np.full(n, NAN), np.full(n, NAN)
    usable = min(n, len(y))
    for t in range(0, usable - h + 1):
        wx, wy = x[t : t + h], y[t : t + h]
        if np.any(np.isnan(wx)) or np.any(np.isnan(wy)):
            continue
        fit = _ols(wx, wy)
        if fit is not None:
            slope[t], r2[t] = fit
    return slope, r2


# -- comparison -------------------------------------------------------------------------


def same_bits(a, b) -> bool:
    """Equal element for element, NaN equal to NaN, the sign of zero included."""
    a = np.asarray(a, dtype=np.float64)
    b = np.asarray(b, dtype=np.float64)
    if a.shape != b.shape:
        return False
    both_nan = np.isnan(a) & np.isnan(b)
    equal = (a == b) & (np.signbit(a) == np.signbit(b))
    return bool(np.all(both_nan | equal))


# -- the array path's accepted forms ---------------------------------------------------

# Every cell the array path must write starts as this, so a skipped cell shows.
UNWRITTEN = -123.25
TABLE_FORMS = ["C", "F", "columns", "strided"]


def as_table(rows, form):
    """A float64 table of bars x columns in one of the accepted forms."""
    rows = np.asarray(rows, dtype=np.float64)
    if rows.ndim != 2:
        rows = rows.reshape(len(rows), -1)
    if form == "C":
        return np.ascontiguousarray(rows)
    if form == "F":
        return np.asfortranarray(rows)
    if form == "columns":
        return [np.ascontiguousarray(c) for c in rows.T]
    big = np.full((2 * rows.shape[0], 3 * rows.shape[1] + 1), UNWRITTEN)
    big[::2, 1::3] = rows
    return big[::2, 1::3]


def run_into(pipeline, rows, data_form="C", out_form="C", width=None):
    """pipeline.run_research_into over `rows` (bars x inputs), the result as
    one bars x outputs array whatever form `out` took."""
    n, k = len(rows), len(pipeline.output_names())
    out = as_table(np.full((n, k), UNWRITTEN), out_form)
    data = as_table(rows, data_form) if width is None else as_table(np.empty((n, width)), data_form)
    assert pipeline.run_research_into(data, out) is None
    got = np.column_stack(out) if isinstance(out, list) else np.array(out)
    return got.reshape(n, k)
