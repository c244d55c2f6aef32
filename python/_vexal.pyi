# Type stubs for the native module _vexal.
from typing import Any, Callable, Self, Sequence, SupportsFloat, SupportsIndex, final, type_check_only


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

_Floats = Sequence[SupportsFloat | SupportsIndex]
_Names = Sequence[str]
_Bytes = bytes | bytearray | memoryview

# What every class shares: snapshots, pickling and copies.
@type_check_only
class _Snapshots:
    def snapshot(self) -> bytes: ...
    @classmethod
    def from_snapshot(cls, data: _Bytes) -> Self: ...
    def __reduce__(self) -> tuple[Callable[[bytes], Self], tuple[bytes]]: ...
    def __copy__(self) -> Self: ...
    def __deepcopy__(self, memo: Any) -> Self: ...

# The methods every feature, scaler and operator class shares.
@type_check_only
class _StreamingTransform(_Snapshots):
    def update(self, values: _Floats) -> list[float]: ...
    def peek(self, values: _Floats) -> list[float]: ...
    def reset(self) -> None: ...
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def warm_up_period(self) -> int: ...

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
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names, fast: SupportsIndex = 2, slow: SupportsIndex = 30) -> Kama: ...

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
    """Rolling OLS regression: slope and R² of y on x over a sliding window."""
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
    """Element-wise subtraction: A - B."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> Subtract: ...

@final
class NegLog(_StreamingTransform):
    """Negative natural logarithm: -ln(x)."""
    def __new__(cls, inputs: _Names, outputs: _Names) -> NegLog: ...

@final
class RollingZScore(_StreamingTransform):
    """Rolling z-score normalization over a sliding window."""
    def __new__(cls, inputs: _Names, window: SupportsIndex, outputs: _Names) -> RollingZScore: ...

@final
class FixedZScore(_StreamingTransform):
    """Z-score normalization with pre-fitted mean and std."""
    def __new__(cls, inputs: _Names, outputs: _Names, mean: SupportsFloat | SupportsIndex, std: SupportsFloat | SupportsIndex) -> FixedZScore: ...

def fit_standard_scaler(data: _Floats) -> tuple[float, float]:
    """Compute mean and std from a column of data."""
    ...

@final
class FutureReturn(_Snapshots):
    """Future simple return over ``horizon`` bars."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureReturn: ...
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

@final
class FutureCTCVolatility(_Snapshots):
    """Future close-to-close realized volatility."""
    def __new__(cls, input: str, horizon: SupportsIndex) -> FutureCTCVolatility: ...
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

@final
class FutureLinearSlope(_Snapshots):
    """Future OLS slope and R² of y on x over the next ``horizon`` bars."""
    def __new__(cls, inputs: _Names, horizon: SupportsIndex, outputs: _Names) -> FutureLinearSlope: ...
    def input_names(self) -> list[str]: ...
    def output_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

_Feature = Sma | Ema | Kama | SimpleReturn | LogReturn | Skewness | Kurtosis | LinearSlope | ParkinsonVolatility | RogersSatchellVolatility | Subtract | NegLog | RollingZScore | FixedZScore
_Target = FutureReturn | FutureCTCVolatility | FutureLinearSlope

@final
class FeaturePipeline(_Snapshots):
    """Orchestrates features in DAG-resolved order.

    Features are resolved automatically — pass them in any order.
    Use ``run_research()`` for batch mode or ``update()`` for live mode."""
    def __new__(cls, features: Sequence[_Feature], input_columns: _Names) -> FeaturePipeline: ...
    def __len__(self) -> int: ...
    def update(self, values: _Floats) -> list[float]: ...
    def peek(self, values: _Floats) -> list[float]: ...
    def run_research(self, data: Sequence[_Floats]) -> list[list[float]]: ...
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
    def run_research(self, data: Sequence[_Floats]) -> list[list[float]]: ...
    def output_names(self) -> list[str]: ...
    def input_names(self) -> list[str]: ...
    def forward_period(self) -> int: ...

def load(data: _Bytes) -> _Feature | _Target | FeaturePipeline | TargetPipeline:
    """Rebuild the object a snapshot holds, whatever its class."""
    ...
