"""Dask DataFrames: each group goes to a worker with its own copy of the pipelines (they travel pickled) and is
computed there by the local pandas path; the result stays lazy, with its meta computed from the empty frame."""

from __future__ import annotations

import functools
import uuid
from typing import Any


class Shipment:
    """The pipelines of one call, as they travel to the workers (pickled there by the scheduler).

    Dask names tasks by hashing their arguments; a call's pipelines are named once, by a random token, since
    their state (and so their bytes) may change between calls.
    """

    def __init__(self, features: Any, targets: Any):
        self.features, self.targets = features, targets
        self.token = uuid.uuid4().hex

    def __dask_tokenize__(self) -> str:
        return self.token


def _compute(part: Any, what: str, shipment: Shipment, keys: list[str], order_by: str | None, duplicates: str,
             dropna: str | None) -> Any:
    from . import run_local

    # The cluster supplies the parallelism: one thread per task. A partition's positions are nobody's rows: messages
    # name rows by index label.
    return run_local(what, shipment.features, shipment.targets, part, keys, order_by, duplicates, 1, False, dropna,
                     by_label=True)


def run_dask(what: str, features: Any, targets: Any, data: Any, keys: list[str], order_by: str | None,
             duplicates: str, dropna: str | None) -> Any:
    compute = functools.partial(_compute, what=what, shipment=Shipment(features, targets), keys=keys,
                                order_by=order_by, duplicates=duplicates, dropna=dropna)
    # The result of the empty frame has exactly the columns and dtypes of every partition's result.
    meta = compute(data._meta)
    if not keys:
        # One series: its bars depend on every earlier bar, so it runs as one task.
        return data.repartition(npartitions=1).map_partitions(compute, meta=meta)
    # Rows of a group end up in one partition; each partition then runs all its groups, one by one.
    return data.shuffle(on=keys).map_partitions(compute, meta=meta)
