# Type stubs for the native module _vexal.
from typing import Any, Callable, Protocol, Self, Sequence, SupportsFloat, SupportsIndex, final, type_check_only

from typing_extensions import Buffer

__all__ = [
    "Sma",
    "Ema",
    "Kama",
    "SimpleReturn",
    "LogReturn",
    "Skewness",
    "Kurtosis",
    "LinearSlope",
    "ParkinsonVolatility",
    "RogersSatchellVolatility",
    "Subtract",
    "NegLog",
    "RollingZScore",
    "FixedZScore",
    "fit_standard_scaler",
    "FutureReturn",
    "FutureCTCVolatility",
    "FutureLinearSlope",
    "FeaturePipeline",
    "TargetPipeline",
]

# Float arguments are anything indexable with a length (lists, tuples, numpy arrays), or a buffer
# (array.array, memoryview): float64 buffers are read directly, any other is iterated.
@type_check_only
class _FloatSequence(Protocol):
    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> SupportsFloat | SupportsIndex: ...

@type_check_only
class _RowSequence(Protocol):
    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> _FloatSequence | Buffer: ...

_Floats = _FloatSequence | Buffer
_Rows = _RowSequence | Buffer
_Names = Sequence[str]
_Bytes = bytes | bytearray | memoryview

# What every class shares: snapshots, pickling and copies.
@type_check_only
class _Snapshots:
    def snapshot(self) -> bytes: ...
    @classmethod
    def from_snapshot(cls, data: _Bytes, max_bytes: int | None = 1073741824) -> Self: ...
    def __reduce__(self) -> tuple[Callable[[bytes], Self], tuple[bytes]]: ...
    def __copy__(self) -> Self: ...
    def __deepcopy__(self, memo: Any) -> Self: ...

# A 2-D buffer of bars x columns, or one 1-D buffer per column.
_Table = Buffer | Sequence[Buffer]

# The methods every feature, scaler and operator class shares.
@type_check_only
class _StreamingTransform(_Snapshots):
    def update(self, values: _Floats) -> list[float]: ...
    def peek(self, values: _Floats) -> list[float]: ...
    def reset(self) -> None: ...
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def warm_up_period(self) -> int: ...

# -- generated from the class descriptions (published transforms): edit the class's Describe block, then run scripts/derive.py --
@final
class Sma(_StreamingTransform):
    """Simple Moving Average over a rolling window."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Sma: ...

@final
class Ema(_StreamingTransform):
    """Exponential Moving Average with SMA seeding."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Ema: ...

@final
class Kama(_StreamingTransform):
    """Kaufman's Adaptive Moving Average."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                fast: SupportsIndex = 2,
                slow: SupportsIndex = 30) -> Kama: ...

@final
class SimpleReturn(_StreamingTransform):
    """Simple (arithmetic) return over a configurable lookback window."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> SimpleReturn: ...

@final
class LogReturn(_StreamingTransform):
    """Log return over a configurable lookback window."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> LogReturn: ...

@final
class Skewness(_StreamingTransform):
    """Rolling sample skewness (Fisher-Pearson corrected)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Skewness: ...

@final
class Kurtosis(_StreamingTransform):
    """Rolling excess kurtosis (Fisher)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Kurtosis: ...

@final
class LinearSlope(_StreamingTransform):
    """Rolling OLS regression."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> LinearSlope: ...

@final
class ParkinsonVolatility(_StreamingTransform):
    """Rolling Parkinson volatility estimator (high/low)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> ParkinsonVolatility: ...

@final
class RogersSatchellVolatility(_StreamingTransform):
    """Rolling Rogers-Satchell volatility estimator (OHLC)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RogersSatchellVolatility: ...

@final
class Subtract(_StreamingTransform):
    """Element-wise subtraction."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Subtract: ...

@final
class NegLog(_StreamingTransform):
    """Negative natural logarithm."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> NegLog: ...

@final
class RollingZScore(_StreamingTransform):
    """Rolling z-score normalization over a sliding window."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingZScore: ...

@final
class FixedZScore(_StreamingTransform):
    """Z-score normalization with pre-fitted mean and std."""
    def __new__(cls, inputs: _Names, outputs: _Names, mean: SupportsFloat | SupportsIndex,
                std: SupportsFloat | SupportsIndex) -> FixedZScore: ...
# -- end of generated (published transforms) --

def fit_standard_scaler(data: _Floats) -> tuple[float, float]:
    """Compute mean and std from a column of data."""
    ...

# What every target class shares.
@type_check_only
class _Target(_Snapshots):
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

# -- generated from the class descriptions (published targets): edit the class's Describe block, then run scripts/derive.py --
@final
class FutureReturn(_Target):
    """Future simple return over ``horizon`` bars."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureReturn: ...

@final
class FutureCTCVolatility(_Target):
    """Future close-to-close realized volatility."""
    def __new__(cls, input: str, horizon: SupportsIndex) -> FutureCTCVolatility: ...

@final
class FutureLinearSlope(_Target):
    """Future OLS slope and R² of y on x over the next ``horizon`` bars."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureLinearSlope: ...
# -- end of generated (published targets) --

@final
class FeaturePipeline(_Snapshots):
    """Orchestrates features in DAG-resolved order.

    Features are resolved automatically — pass them in any order.
    Use ``run_research()`` for batch mode or ``update()`` for live mode."""
    def __new__(cls, features: Sequence[_StreamingTransform], input_columns: _Names) -> FeaturePipeline: ...
    def __len__(self) -> int: ...
    def update(self, values: _Floats) -> list[float]: ...
    def peek(self, values: _Floats) -> list[float]: ...
    def run_research(self, data: _Rows) -> list[list[float]]: ...
    def run_research_into(self, data: _Table, out: _Table, threads: int = 1, *, reset: bool = True) -> None: ...
    def reset(self) -> None: ...
    def output_names(self) -> list[str]: ...
    def input_names(self) -> list[str]: ...
    def warm_up_period(self) -> int: ...

@final
class TargetPipeline(_Snapshots):
    """Orchestrates multiple targets over a full dataset.

    Targets are stateless and independent — no DAG needed.
    Use ``run_research()`` to label an entire dataset at once."""
    def __new__(cls, targets: Sequence[_Target], input_columns: _Names) -> TargetPipeline: ...
    def __len__(self) -> int: ...
    def run_research(self, data: _Rows) -> list[list[float]]: ...
    def run_research_into(self, columns: _Table, out: _Table) -> None: ...
    def output_names(self) -> list[str]: ...
    def input_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

# -- generated from the class descriptions (unions): edit the class's Describe block, then run scripts/derive.py --
_Feature = (Sma | Ema | Kama | SimpleReturn | LogReturn | Skewness | Kurtosis | LinearSlope | ParkinsonVolatility
            | RogersSatchellVolatility | Subtract | NegLog | RollingZScore | FixedZScore | Rsi | TrueRange | Atr | Adx
            | BollingerBands | Macd | Stochastic | WilliamsR | Cci | Obv | Vwap | RollingMin | RollingMax | RollingStd
            | RollingCorrelation | RollingQuantile | GarmanKlassVolatility | YangZhangVolatility | Lag | Ratio | Wma
            | Dema | Tema | Donchian | FracDiff | CusumFilter | Add | Multiply | Abs | Log | Sign | Clip | Momentum
            | Roc | Cmo | Trix | Ppo | Hma | AdLine | ChaikinOscillator | Cmf | Mfi | StochRsi | UltimateOscillator
            | RollingSum | RollingMad | RollingCovariance | RollingRank | EwmMean | EwmStd | Aroon | Keltner
            | Supertrend | ParabolicSar | Ichimoku)
_AnyTarget = (FutureReturn | FutureCTCVolatility | FutureLinearSlope | TripleBarrier | MetaLabel | FutureMax
              | FutureMin | FutureDrawdown)
# -- end of generated (unions) --

def load(data: _Bytes, max_bytes: int | None = 1073741824) -> _Feature | _AnyTarget | FeaturePipeline | TargetPipeline:
    """Rebuild the object a snapshot holds, whatever its class."""
    ...

# -- generated from the class descriptions (later classes): edit the class's Describe block, then run scripts/derive.py --
@final
class Rsi(_StreamingTransform):
    """Wilder's relative strength index of inputs[0] (the close)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Rsi: ...

@final
class TrueRange(_StreamingTransform):
    """Wilder's true range. inputs: [high, low, close]."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> TrueRange: ...

@final
class Atr(_StreamingTransform):
    """Wilder's average true range. inputs: [high, low, close]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Atr: ...

@final
class Adx(_StreamingTransform):
    """Wilder's average directional index. inputs: [high, low, close]; outputs: [adx, plus_di, minus_di]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Adx: ...

@final
class BollingerBands(_StreamingTransform):
    """Bollinger bands of inputs[0] over ``window`` bars. outputs: [middle, upper, lower, percent_b, bandwidth]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                k: SupportsFloat | SupportsIndex = 2.0) -> BollingerBands: ...

@final
class Macd(_StreamingTransform):
    """Moving average convergence/divergence of inputs[0]. outputs: [macd, signal, histogram]."""
    def __new__(cls, inputs: _Names, outputs: _Names, fast: SupportsIndex = 12,
                slow: SupportsIndex = 26,
                signal: SupportsIndex = 9) -> Macd: ...

@final
class Stochastic(_StreamingTransform):
    """The slow stochastic oscillator. inputs: [high, low, close]; outputs: [k, d]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                smooth_k: SupportsIndex = 3,
                smooth_d: SupportsIndex = 3) -> Stochastic: ...

@final
class WilliamsR(_StreamingTransform):
    """Williams %R. inputs: [high, low, close]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> WilliamsR: ...

@final
class Cci(_StreamingTransform):
    """Commodity channel index. inputs: [high, low, close]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Cci: ...

@final
class Obv(_StreamingTransform):
    """On-balance volume. inputs: [close, volume]."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Obv: ...

@final
class Vwap(_StreamingTransform):
    """Rolling volume-weighted average price. inputs: [high, low, close, volume]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Vwap: ...

@final
class RollingMin(_StreamingTransform):
    """Smallest value of inputs[0] over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingMin: ...

@final
class RollingMax(_StreamingTransform):
    """Largest value of inputs[0] over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingMax: ...

@final
class RollingStd(_StreamingTransform):
    """Sample standard deviation (ddof=1) of inputs[0] over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingStd: ...

@final
class RollingCorrelation(_StreamingTransform):
    """Pearson correlation of inputs [x, y] over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingCorrelation: ...

@final
class RollingQuantile(_StreamingTransform):
    """The q-quantile of inputs[0] over ``window`` bars, linearly interpolated between order statistics as numpy.quantile's default is."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                q: SupportsFloat | SupportsIndex = 0.5) -> RollingQuantile: ...

@final
class GarmanKlassVolatility(_StreamingTransform):
    """Garman-Klass volatility. inputs: [open, high, low, close]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> GarmanKlassVolatility: ...

@final
class YangZhangVolatility(_StreamingTransform):
    """Yang-Zhang volatility. inputs: [open, high, low, close]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> YangZhangVolatility: ...

@final
class Lag(_StreamingTransform):
    """inputs[0] as it was ``k`` bars earlier."""
    def __new__(cls, inputs: _Names, k: SupportsIndex, outputs: _Names) -> Lag: ...

@final
class Ratio(_StreamingTransform):
    """Element-wise ratio."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Ratio: ...

@final
class TripleBarrier(_Target):
    """Triple-barrier label of each bar. inputs: [close, scale]; outputs: [label, ret, bars]."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names,
                upper: SupportsFloat | SupportsIndex | None = 1.0,
                lower: SupportsFloat | SupportsIndex | None = 1.0) -> TripleBarrier: ...

@final
class MetaLabel(_Target):
    """Whether a primary model's side was right. inputs: [label, side]."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> MetaLabel: ...

@final
class Wma(_StreamingTransform):
    """Weighted moving average of inputs[0] over ``window`` bars, weights 1 (the oldest) to ``window`` (the newest)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Wma: ...

@final
class Dema(_StreamingTransform):
    """Double exponential moving average of inputs[0]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Dema: ...

@final
class Tema(_StreamingTransform):
    """Triple exponential moving average of inputs[0]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Tema: ...

@final
class Donchian(_StreamingTransform):
    """Donchian channel. inputs: [high, low]; outputs: [upper, lower, middle]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Donchian: ...

@final
class FracDiff(_StreamingTransform):
    """Fractional differencing of inputs[0] with a fixed-width window."""
    def __new__(cls, inputs: _Names, d: SupportsFloat | SupportsIndex, outputs: _Names,
                threshold: SupportsFloat | SupportsIndex = 1e-05,
                max_window: SupportsIndex = 10000) -> FracDiff: ...

@final
class CusumFilter(_StreamingTransform):
    """Symmetric CUSUM event filter of inputs[0]."""
    def __new__(cls, inputs: _Names, threshold: SupportsFloat | SupportsIndex, outputs: _Names) -> CusumFilter: ...

@final
class Add(_StreamingTransform):
    """Element-wise addition."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Add: ...

@final
class Multiply(_StreamingTransform):
    """Element-wise multiplication."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Multiply: ...

@final
class Abs(_StreamingTransform):
    """Element-wise absolute value."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Abs: ...

@final
class Log(_StreamingTransform):
    """Natural logarithm."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Log: ...

@final
class Sign(_StreamingTransform):
    """Element-wise sign."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Sign: ...

@final
class Clip(_StreamingTransform):
    """inputs[0] held within [lower, upper]."""
    def __new__(cls, inputs: _Names, outputs: _Names, lower: SupportsFloat | SupportsIndex | None = None,
                upper: SupportsFloat | SupportsIndex | None = None) -> Clip: ...

@final
class FutureMax(_Target):
    """Future highest high relative to the close. inputs: [high, close]."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureMax: ...

@final
class FutureMin(_Target):
    """Future lowest low relative to the close. inputs: [low, close]."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureMin: ...

@final
class FutureDrawdown(_Target):
    """Future maximum drawdown of the close."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureDrawdown: ...

@final
class Momentum(_StreamingTransform):
    """Momentum of inputs[0]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Momentum: ...

@final
class Roc(_StreamingTransform):
    """Rate of change of inputs[0] in percent."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Roc: ...

@final
class Cmo(_StreamingTransform):
    """Chande momentum oscillator of inputs[0] (the close)."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Cmo: ...

@final
class Trix(_StreamingTransform):
    """Trix of inputs[0]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Trix: ...

@final
class Ppo(_StreamingTransform):
    """Percentage price oscillator of inputs[0]."""
    def __new__(cls, inputs: _Names, outputs: _Names, fast: SupportsIndex = 12, slow: SupportsIndex = 26) -> Ppo: ...

@final
class Hma(_StreamingTransform):
    """Hull moving average of inputs[0]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Hma: ...

@final
class AdLine(_StreamingTransform):
    """Accumulation/distribution line. inputs: [high, low, close, volume]."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> AdLine: ...

@final
class ChaikinOscillator(_StreamingTransform):
    """Chaikin oscillator. inputs: [high, low, close, volume]."""
    def __new__(cls, inputs: _Names, outputs: _Names, fast: SupportsIndex = 3,
                slow: SupportsIndex = 10) -> ChaikinOscillator: ...

@final
class Cmf(_StreamingTransform):
    """Chaikin money flow. inputs: [high, low, close, volume]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Cmf: ...

@final
class Mfi(_StreamingTransform):
    """Money flow index. inputs: [high, low, close, volume]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Mfi: ...

@final
class StochRsi(_StreamingTransform):
    """Stochastic RSI of inputs[0] (the close). outputs: [k, d]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                k_window: SupportsIndex = 5,
                d_window: SupportsIndex = 3) -> StochRsi: ...

@final
class UltimateOscillator(_StreamingTransform):
    """Ultimate oscillator. inputs: [high, low, close]."""
    def __new__(cls, inputs: _Names, outputs: _Names, fast: SupportsIndex = 7,
                medium: SupportsIndex = 14,
                slow: SupportsIndex = 28) -> UltimateOscillator: ...

@final
class RollingSum(_StreamingTransform):
    """Rolling sum of inputs[0] over ``window`` bars, added oldest to newest from 0.0 each bar; pandas' ``rolling(window).sum()``."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingSum: ...

@final
class RollingMad(_StreamingTransform):
    """Rolling mean absolute deviation of inputs[0] around its window mean over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingMad: ...

@final
class RollingCovariance(_StreamingTransform):
    """Sample covariance of inputs [x, y] over ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingCovariance: ...

@final
class RollingRank(_StreamingTransform):
    """Percentile rank of the newest value of inputs[0] within its ``window`` bars."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingRank: ...

@final
class EwmMean(_StreamingTransform):
    """Exponentially weighted mean of inputs[0], as pandas' ``ewm(..., adjust=False).mean()``."""
    def __new__(cls, inputs: _Names, outputs: _Names, alpha: SupportsFloat | SupportsIndex | None = None,
                span: SupportsFloat | SupportsIndex | None = None,
                halflife: SupportsFloat | SupportsIndex | None = None) -> EwmMean: ...

@final
class EwmStd(_StreamingTransform):
    """Exponentially weighted standard deviation of inputs[0], as pandas' ``ewm(..., adjust=False).std()`` (bias=False)."""
    def __new__(cls, inputs: _Names, outputs: _Names, alpha: SupportsFloat | SupportsIndex | None = None,
                span: SupportsFloat | SupportsIndex | None = None,
                halflife: SupportsFloat | SupportsIndex | None = None) -> EwmStd: ...

@final
class Aroon(_StreamingTransform):
    """Aroon. inputs: [high, low]; outputs: [up, down, oscillator]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> Aroon: ...

@final
class Keltner(_StreamingTransform):
    """Keltner channel. inputs: [high, low, close]; outputs: [middle, upper, lower]."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names,
                multiple: SupportsFloat | SupportsIndex = 2.0) -> Keltner: ...

@final
class Supertrend(_StreamingTransform):
    """Supertrend. inputs: [high, low, close]; outputs: [line, direction]."""
    def __new__(cls, inputs: _Names, outputs: _Names, window: SupportsIndex = 10,
                multiple: SupportsFloat | SupportsIndex = 3.0) -> Supertrend: ...

@final
class ParabolicSar(_StreamingTransform):
    """Parabolic stop and reverse. inputs: [high, low]."""
    def __new__(cls, inputs: _Names, outputs: _Names, acceleration: SupportsFloat | SupportsIndex = 0.02,
                maximum: SupportsFloat | SupportsIndex = 0.2) -> ParabolicSar: ...

@final
class Ichimoku(_StreamingTransform):
    """Ichimoku lines. inputs: [high, low]; outputs: [tenkan, kijun, senkou_a, senkou_b]."""
    def __new__(cls, inputs: _Names, outputs: _Names, tenkan: SupportsIndex = 9,
                kijun: SupportsIndex = 26,
                senkou_b: SupportsIndex = 52) -> Ichimoku: ...
# -- end of generated (later classes) --

@final
class FeatureBook(_Snapshots):
    """A universe of symbols updated together, one bar at a time."""
    def __new__(cls, pipeline: FeaturePipeline, symbols: _Names, cross: Sequence[Any] | None = None) -> FeatureBook: ...
    def __len__(self) -> int: ...
    @property
    def symbols(self) -> list[str]: ...
    def update(self, bars: _Table, present: Sequence[bool] | Buffer | None = None, threads: int = 1) -> Any: ...
    def update_into(self, bars: _Table, out: _Table, present: Sequence[bool] | Buffer | None = None,
                    threads: int = 1) -> None: ...
    def peek(self, bars: _Table, present: Sequence[bool] | Buffer | None = None, threads: int = 1) -> Any: ...
    def add(self, symbol: str, pipeline: FeaturePipeline | None = None) -> None: ...
    def remove(self, symbol: str) -> None: ...
    def pipeline(self, symbol: str) -> FeaturePipeline: ...
    def reset(self) -> None: ...
    def output_names(self) -> list[str]: ...
    def input_names(self) -> list[str]: ...
    def warm_up_period(self) -> int: ...
