"""A user's script, as written without thinking about types: the type checkers must accept it as it is."""

import numpy as np
import pandas as pd

import vexal
from vexal import Ema, FeaturePipeline, FutureCTCVolatility, FutureReturn, LogReturn, Sma, TargetPipeline

closes = np.linspace(100.0, 120.0, 200)
features = FeaturePipeline([Sma(["close"], 20, ["sma"]), Ema(["close"], 10, ["ema"]), LogReturn(["close"], 1, ["ret"])],
                           ["close"])
rows: list[list[float]] = features.run_research(closes.reshape(-1, 1))
features.reset()
last: list[float] = features.update(np.array([121.0]))
first: list[float] = Sma(["close"], 2, ["sma"]).update([100, 101.5])
mean, std = vexal.fit_standard_scaler(closes)

targets = TargetPipeline([FutureReturn(["close"], 5, ["fwd"]), FutureCTCVolatility("close", 20)], ["close"])
labels: list[list[float]] = targets.run_research([closes])

frame = pd.DataFrame({"close": closes, "symbol": ["A", "B"] * 100})
table: pd.DataFrame = vexal.dataset(features, targets, frame, by="symbol", dropna="warmup")
array: np.ndarray = vexal.research(features, closes.reshape(-1, 1))
columns: dict[str, object] = vexal.label(targets, {"close": closes})
print(vexal.__version__.split("."), len(rows), last, first, mean, std, labels[0][0], table.shape, array.shape,
      len(columns))
