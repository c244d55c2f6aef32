import csv
import pathlib

import pytest

DATA = pathlib.Path(__file__).resolve().parent.parent / "python" / "vexal" / "data" / "SPY_D.csv"


def load_spy() -> dict[str, list[float]]:
    with DATA.open(newline="") as f:
        rows = list(csv.DictReader(f))
    return {k: [float(r[k]) for r in rows] for k in ("open", "high", "low", "close", "volume")}


@pytest.fixture(scope="session")
def spy() -> dict[str, list[float]]:
    return load_spy()
