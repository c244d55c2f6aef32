# The package re-exports every name of the native module (the published
# ones, then the classes registered after them) and the frame functions of vexal.frames.
from collections.abc import Mapping, Sequence
from typing import Any, Literal, TypeVar, overload

from _vexal import *
from _vexal import FeaturePipeline as FeaturePipeline, TargetPipeline as TargetPipeline
from _vexal import load as load
from _vexal import FeatureBook as FeatureBook

from .cross import CrossDemean as CrossDemean, CrossRank as CrossRank, CrossZScore as CrossZScore

# -- generated from the class descriptions (re-exports): edit the class's Describe block, then run scripts/derive.py --
from _vexal import (
    Rsi as Rsi,
    TrueRange as TrueRange,
    Atr as Atr,
    Adx as Adx,
    BollingerBands as BollingerBands,
    Macd as Macd,
    Stochastic as Stochastic,
    WilliamsR as WilliamsR,
    Cci as Cci,
    Obv as Obv,
    Vwap as Vwap,
    RollingMin as RollingMin,
    RollingMax as RollingMax,
    RollingStd as RollingStd,
    RollingCorrelation as RollingCorrelation,
    RollingQuantile as RollingQuantile,
    GarmanKlassVolatility as GarmanKlassVolatility,
    YangZhangVolatility as YangZhangVolatility,
    Lag as Lag,
    Ratio as Ratio,
    TripleBarrier as TripleBarrier,
    MetaLabel as MetaLabel,
    Wma as Wma,
    Dema as Dema,
    Tema as Tema,
    Donchian as Donchian,
    FracDiff as FracDiff,
    CusumFilter as CusumFilter,
    Add as Add,
    Multiply as Multiply,
    Abs as Abs,
    Log as Log,
    Sign as Sign,
    Clip as Clip,
    FutureMax as FutureMax,
    FutureMin as FutureMin,
    FutureDrawdown as FutureDrawdown,
    Momentum as Momentum,
    Roc as Roc,
    Cmo as Cmo,
    Trix as Trix,
    Ppo as Ppo,
    Hma as Hma,
    AdLine as AdLine,
    ChaikinOscillator as ChaikinOscillator,
    Cmf as Cmf,
    Mfi as Mfi,
    StochRsi as StochRsi,
    UltimateOscillator as UltimateOscillator,
    RollingSum as RollingSum,
    RollingMad as RollingMad,
    RollingCovariance as RollingCovariance,
    RollingRank as RollingRank,
    EwmMean as EwmMean,
    EwmStd as EwmStd,
    Aroon as Aroon,
    Keltner as Keltner,
    Supertrend as Supertrend,
    ParabolicSar as ParabolicSar,
    Ichimoku as Ichimoku,
)
# -- end of generated (re-exports) --

__all__: list[str]

__version__: str

# The same kind comes back: a DataFrame for a DataFrame, an array for an array, a dict for a mapping.
_Data = TypeVar("_Data")
_Keys = str | Sequence[str] | None
_Duplicates = Literal["error", "last"]

@overload
def research(features: FeaturePipeline, data: Mapping[str, Any], out: None = None, *, by: _Keys = None, order_by: str | None = None,
             duplicates: _Duplicates = "error", workers: int | None = None, progress: bool = False,
             dropna: Literal["warmup"] | None = None, cross: Sequence[Any] | None = None) -> dict[str, Any]: ...
@overload
def research(features: FeaturePipeline, data: _Data, out: Any = None, *, by: _Keys = None, order_by: str | None = None,
             duplicates: _Duplicates = "error", workers: int | None = None, progress: bool = False,
             dropna: Literal["warmup"] | None = None, cross: Sequence[Any] | None = None) -> _Data: ...
@overload
def label(targets: TargetPipeline, data: Mapping[str, Any], out: None = None, *, by: _Keys = None, order_by: str | None = None,
          duplicates: _Duplicates = "error", workers: int | None = None, progress: bool = False,
          dropna: Literal["labels"] | None = None) -> dict[str, Any]: ...
@overload
def label(targets: TargetPipeline, data: _Data, out: Any = None, *, by: _Keys = None, order_by: str | None = None,
          duplicates: _Duplicates = "error", workers: int | None = None, progress: bool = False,
          dropna: Literal["labels"] | None = None) -> _Data: ...
@overload
def dataset(features: FeaturePipeline, targets: TargetPipeline, data: Mapping[str, Any], *, by: _Keys = None,
            order_by: str | None = None, duplicates: _Duplicates = "error", workers: int | None = None,
            progress: bool = False, dropna: Literal["warmup", "labels", "both"] | None = None,
            cross: Sequence[Any] | None = None) -> dict[str, Any]: ...
@overload
def dataset(features: FeaturePipeline, targets: TargetPipeline, data: _Data, *, by: _Keys = None,
            order_by: str | None = None, duplicates: _Duplicates = "error", workers: int | None = None,
            progress: bool = False, dropna: Literal["warmup", "labels", "both"] | None = None,
            cross: Sequence[Any] | None = None) -> _Data: ...

def book_bars(book: FeatureBook, data: Any, *, by: str | None = None) -> tuple[Any, Any]: ...

def uniqueness_weights(horizon: int | TargetPipeline, n: int, times: Any = None, groups: Any = None) -> Any: ...
