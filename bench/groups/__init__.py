"""Benchmark groups: each module has ORDER and run(ctx) -> harness.Section."""
