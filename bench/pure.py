"""Straightforward pure-Python versions of the benchmarked transforms.

What a user would write by hand for a live loop: a deque per window, the
statistics recomputed from it on every bar, the same formulas as vexal.
They take one list of floats per bar and return a list, like vexal's
``update``. They assume clean data (no NaN handling beyond the warm-up),
which only makes them faster than a complete version would be.
"""

import math
from collections import deque

NAN = float("nan")


class Sma:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        self.buf.append(values[0])
        if len(self.buf) < self.window:
            return [NAN]
        return [sum(self.buf) / self.window]


class Ema:
    def __init__(self, window):
        self.window = window
        self.alpha = 2.0 / (window + 1.0)
        self.seed = deque(maxlen=window)
        self.current = None

    def update(self, values):
        x = values[0]
        if self.current is not None:
            self.current = (1.0 - self.alpha) * self.current + self.alpha * x
            return [self.current]
        self.seed.append(x)
        if len(self.seed) < self.window:
            return [NAN]
        self.current = sum(self.seed) / self.window
        return [self.current]


class Kama:
    def __init__(self, window, fast=2, slow=30):
        self.window = window
        self.fast = 2.0 / (fast + 1.0)
        self.slow = 2.0 / (slow + 1.0)
        self.buf = deque(maxlen=window + 1)
        self.prev = None

    def update(self, values):
        self.buf.append(values[0])
        if len(self.buf) <= self.window:
            return [NAN]
        q = self.buf
        change = abs(q[-1] - q[0])
        volatility = 0.0
        last = q[0]
        for p in q:
            volatility += abs(p - last)
            last = p
        er = change / volatility if volatility > 0 else 0.0
        sc = ((self.fast - self.slow) * er + self.slow) ** 2
        base = self.prev if self.prev is not None else q[-2]
        self.prev = (q[-1] - base) * sc + base
        return [self.prev]


def _mean_std(xs):
    n = len(xs)
    mean = sum(xs) / n
    m2 = 0.0
    for x in xs:
        m2 += (x - mean) * (x - mean)
    return mean, math.sqrt(m2 / (n - 1))


class RollingZScore:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        x = values[0]
        self.buf.append(x)
        if len(self.buf) < self.window:
            return [NAN]
        mean, std = _mean_std(self.buf)
        return [(x - mean) / std if std > 0 else NAN]


class Skewness:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        self.buf.append(values[0])
        n = self.window
        if len(self.buf) < n:
            return [NAN]
        mean, std = _mean_std(self.buf)
        if std == 0:
            return [NAN]
        s3 = 0.0
        for x in self.buf:
            z = (x - mean) / std
            s3 += z * z * z
        return [n / ((n - 1) * (n - 2)) * s3]


class Kurtosis:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        self.buf.append(values[0])
        n = self.window
        if len(self.buf) < n:
            return [NAN]
        mean, std = _mean_std(self.buf)
        if std == 0:
            return [NAN]
        s4 = 0.0
        for x in self.buf:
            z = (x - mean) / std
            s4 += (z * z) ** 2
        a = (n * (n + 1)) / (((n - 1) * (n - 2)) * (n - 3))
        b = (3 * ((n - 1) * (n - 1))) / ((n - 2) * (n - 3))
        return [s4 * a - b]


class LinearSlope:
    def __init__(self, window):
        self.window = window
        self.xs = deque(maxlen=window)
        self.ys = deque(maxlen=window)

    def update(self, values):
        self.xs.append(values[0])
        self.ys.append(values[1])
        n = self.window
        if len(self.xs) < n:
            return [NAN, NAN]
        mx = sum(self.xs) / n
        my = sum(self.ys) / n
        sxx = sxy = syy = 0.0
        for x, y in zip(self.xs, self.ys):
            dx, dy = x - mx, y - my
            sxx += dx * dx
            sxy += dy * dx
            syy += dy * dy
        if sxx == 0:
            return [NAN, NAN]
        return [sxy / sxx, (sxy * sxy) / (syy * sxx) if syy != 0 else NAN]


class SimpleReturn:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window + 1)

    def update(self, values):
        self.buf.append(values[0])
        if len(self.buf) <= self.window:
            return [NAN]
        return [(self.buf[-1] - self.buf[0]) / self.buf[0]]


class LogReturn:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window + 1)

    def update(self, values):
        self.buf.append(values[0])
        if len(self.buf) <= self.window:
            return [NAN]
        return [math.log(self.buf[-1] / self.buf[0])]


class ParkinsonVolatility:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        r = math.log(values[0] / values[1])
        self.buf.append(r * r)
        if len(self.buf) < self.window:
            return [NAN]
        return [math.sqrt(sum(self.buf) / self.window / (4.0 * math.log(2.0)))]


class RogersSatchellVolatility:
    def __init__(self, window):
        self.window = window
        self.buf = deque(maxlen=window)

    def update(self, values):
        h, low, o, c = values[0], values[1], values[2], values[3]
        self.buf.append(math.log(low / o) * math.log(low / c) + math.log(h / o) * math.log(h / c))
        if len(self.buf) < self.window:
            return [NAN]
        mean = sum(self.buf) / self.window
        return [math.sqrt(mean) if mean >= 0 else NAN]


class Subtract:
    def update(self, values):
        return [values[0] - values[1]]
