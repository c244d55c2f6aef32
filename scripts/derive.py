"""Writes the files derived from the classes' descriptions, or checks them.

Every transform and target describes itself once, beside its code; the
installed module hands the descriptions out through ``_vexal._describe()``.
From them come the class stubs (python/_vexal.pyi and the re-exports of
python/vexal/__init__.pyi), the README's table of transforms, the class
tables of docs/snapshot-format.md, the whole of docs/reference.md and the
example session of every class in docs/api/examples.md (which the docs tests
run, so its printed values are checked against the module).

    python scripts/derive.py           # rewrite the derived parts
    python scripts/derive.py --check   # exit 1 and list what differs

Hand-written text outside the marked regions is left as it is.
"""

from __future__ import annotations

import argparse
import ast
import contextlib
import io
import pathlib
import re
import sys

import _vexal

ROOT = pathlib.Path(__file__).resolve().parent.parent
BEGIN = "generated from the class descriptions ({}): edit the class's Describe block, then run scripts/derive.py"
END = "end of generated ({})"

STUB_TYPES = {
    "names": "_Names",
    "name": "str",
    "count": "SupportsIndex",
    "number": "SupportsFloat | SupportsIndex",
    "optional number": "SupportsFloat | SupportsIndex | None",
}


def describe() -> list[dict]:
    return list(_vexal._describe())


def first_sentences(summary: str) -> str:
    """The summary's first clause, and the sentence naming its columns after it."""
    head = re.split(r"(?<=[.:]) ", summary, maxsplit=1)[0].rstrip(".:") + "."
    columns = re.search(r"(?<=\. )((?:inputs|outputs): [^.]*\.)", summary)
    return f"{head} {columns.group(1)}" if columns else head


def stub_parameter(option: dict) -> str:
    text = f"{option['name']}: {STUB_TYPES[option['type']]}"
    if not option["required"]:
        text += f" = {option['default']!r}"
    return text


def stub_class(d: dict) -> str:
    base = "_Target" if d["kind"] == "target" else "_StreamingTransform"
    params = ["cls", *(stub_parameter(o) for o in d["options"])]
    head = f"    def __new__({', '.join(params)}) -> {d['name']}: ..."
    if len(head) > 120:
        indent = " " * len("    def __new__(")
        lines = [f"    def __new__({', '.join(params[:4])},"]
        lines += [f"{indent}{p}," for p in params[4:-1]]
        lines.append(f"{indent}{params[-1]}) -> {d['name']}: ...")
        head = "\n".join(lines)
    return f'@final\nclass {d["name"]}({base}):\n    """{first_sentences(d["summary"])}"""\n{head}\n'


def published(ds: list[dict]) -> tuple[list[dict], list[dict]]:
    names = set(_vexal.__all__)
    return [d for d in ds if d["name"] in names], [d for d in ds if d["name"] not in names]


def union(name: str, members: list[str]) -> str:
    line = f"{name} = ("
    indent = " " * len(line)
    lines = []
    for i, member in enumerate(members):
        piece = member if i == 0 else f" | {member}"
        if len(line) + len(piece) > 118:
            lines.append(line)
            line = f"{indent}| {member}"
        else:
            line += piece
    return "\n".join([*lines, line + ")"]) + "\n"


def stub_regions(ds: list[dict]) -> dict[str, str]:
    first, later = published(ds)
    transforms = [d["name"] for d in ds if d["kind"] == "transform"]
    targets = [d["name"] for d in ds if d["kind"] == "target"]
    return {
        "published transforms": "\n".join(stub_class(d) for d in first if d["kind"] == "transform"),
        "published targets": "\n".join(stub_class(d) for d in first if d["kind"] == "target"),
        "unions": union("_Feature", transforms) + union("_AnyTarget", targets),
        "later classes": "\n".join(stub_class(d) for d in later),
    }


def reexport_region(ds: list[dict]) -> dict[str, str]:
    _, later = published(ds)
    body = "".join(f"    {d['name']} as {d['name']},\n" for d in later)
    return {"re-exports": f"from _vexal import (\n{body})\n"}


def cell(text: str) -> str:
    return text.replace("|", "\\|")


def readme_regions(ds: list[dict]) -> dict[str, str]:
    rows = ["| Class | Inputs | Outputs | Options | Warm-up | Missing value | TA-Lib |", "|---|---|---|---|---|---|---|"]
    for d in ds:
        if d["kind"] != "transform":
            continue
        rows.append(
            f"| `{d['name']}` | {d['reads']} | {d['writes']} | {cell(d['options_note'])} | {d['warm_up']} "
            f"| {d['missing']} | {cell(d['talib'])} |"
        )
    return {"transforms": "\n".join(rows) + "\n"}


def snapshot_regions(ds: list[dict]) -> dict[str, str]:
    def table(kind: str, heading: str) -> str:
        rows = [f"| class | {heading} |", "| --- | --- |"]
        rows += [f"| {d['name']} | {d['state']} |" for d in ds if d["kind"] == kind]
        return "\n".join(rows) + "\n"

    return {"transform layouts": table("transform", "fields after the names"),
            "target layouts": table("target", "fields after the tag")}


BAR_VALUES = {"high": 2.0, "low": 0.0, "open": 1.0, "close": 1.5, "volume": 1.5}


def measured_size(d: dict) -> tuple[int, int]:
    """Bytes per window bar and fixed bytes, from snapshots at two window lengths."""
    sizes = []
    for window in (10, 20):
        args = list(example_arguments(d["example"]))
        counted = [o["name"] for o in d["options"] if o["type"] == "count" and o["required"]]
        if counted:
            args[[o["name"] for o in d["options"]].index(counted[0])] = window
        obj = getattr(_vexal, d["name"])(*args)
        names = [n.strip() for n in d["reads"].split(",")]
        for i in range(3 * window + 40):
            x = 100.0 + i % 7
            obj.update([x + BAR_VALUES.get(n, 0.0) for n in names])
        labels = sum(4 + len(n.encode()) for n in obj.input_names() + obj.output_names())
        sizes.append(len(obj.snapshot()) - (14 + 4 + len(d["name"]) + 8 + labels))
    per_bar = (sizes[1] - sizes[0]) // 10 // 9
    return per_bar, sizes[0] - 9 * per_bar * 10


def example_arguments(example: str) -> tuple:
    call = ast.parse(example, mode="eval").body
    return tuple(ast.literal_eval(a) for a in call.args)


def size_regions(ds: list[dict]) -> dict[str, str]:
    groups: dict[tuple[int, int], list[str]] = {}
    for d in ds:
        if d["kind"] == "transform":
            groups.setdefault(measured_size(d), []).append(d["name"])
    rows = ["| class | values per window bar | fixed bytes |", "| --- | --- | --- |"]
    rows += [f"| {', '.join(names)} | {per} | {fixed} |" for (per, fixed), names in groups.items()]
    return {"snapshot sizes": "\n".join(rows) + "\n"}


def reference(ds: list[dict]) -> str:
    out = [
        "# Reference",
        "",
        f"<!-- {BEGIN.format('the whole page')} -->",
        "",
        "Every transform and target, in the module's order. Inputs are column names,",
        "read by position; the outputs are named by the caller, one per value.",
        "",
    ]
    families: dict[str, list[dict]] = {}
    for d in ds:
        families.setdefault(d["family"], []).append(d)
    out.append("| Family | Classes |")
    out.append("| --- | --- |")
    for family, members in families.items():
        links = ", ".join(f"[`{m['name']}`](#{m['name'].lower()})" for m in members)
        out.append(f"| {family} | {links} |")
    out.append("")
    for d in ds:
        out += [f"## {d['name']}", "", "```python", f"{d['name']}{d['signature']}", "```", "", d["summary"], ""]
        facts = [
            ("formula", d["formula"]),
            ("kind", d["kind"]),
            ("family", d["family"]),
            ("inputs", d["reads"]),
            ("outputs", d["writes"]),
            ("options", d["options_note"] or "none beyond the inputs and outputs"),
            ("warm-up", d["warm_up"]),
            ("missing value", d["missing"]),
            ("TA-Lib", d["talib"]),
            ("snapshot tag", f"`{d['name']}`"),
            ("snapshot fields", d["state"]),
        ]
        out += [f"- **{k}**: {v}" for k, v in facts if v]
        out += ["", "```python", f"vexal.{d['example']}", "```", ""]
    out.append(f"<!-- {END.format('the whole page')} -->")
    return "\n".join(out) + "\n"

EXAMPLE_PRELUDE = """\
>>> import math
>>> import vexal
>>> from vexal.demo import bundled_data, load_columns
>>> spy, _, _ = load_columns(bundled_data(), {k: k for k in ("open", "high", "low", "close", "volume")})
>>> ret = [math.nan] + [b / a - 1 for a, b in zip(spy["close"], spy["close"][1:])]
>>> spy["ret"], spy["sign"] = ret, [math.copysign(1.0, r) if r == r else r for r in ret]
>>> def column(name):
...     # A price or the volume by its name; a label or side is the close's sign, anything else its return.
...     return spy.get(name, spy["sign"] if name in ("label", "side") else spy["ret"])
>>> def bars(obj, n):
...     # The first n daily SPY bars, holding the columns obj reads in its order.
...     columns = [column(name) for name in obj.input_names()]
...     return [[c[i] for c in columns] for i in range(n)]
>>> def rounded(row):
...     return [round(v, 6) for v in row]
"""
# The examples' bars: more than the longest warm-up (FracDiff's, at its example's threshold).
EXAMPLE_BARS = 1500


def run_lines(source: str, namespace: dict) -> list[str]:
    """The doctest session of `source`'s examples, each followed by what it printed."""
    import doctest

    session = []
    for example in doctest.DocTestParser().get_examples(source):
        lines = example.source.rstrip("\n").splitlines()
        session += [f">>> {lines[0]}", *(f"... {line}" for line in lines[1:])]
        buffer = io.StringIO()
        with contextlib.redirect_stdout(buffer):
            exec(compile(example.source, "<example>", "single"), namespace)
        session += buffer.getvalue().rstrip("\n").splitlines()
    return session


def example_session(d: dict, namespace: dict) -> list[str]:
    """Builds the class's example and shows its first complete output (a target: its first labels)."""
    lines = [f">>> t = vexal.{d['example']}", ">>> t.input_names(), t.output_names()"]
    if d["kind"] == "target":
        lines += [">>> targets = vexal.TargetPipeline([t], t.input_names())",
                  ">>> labels = targets.run_research([column(name) for name in t.input_names()])",
                  ">>> targets.forward_period(), [rounded(c[:3]) for c in labels]"]
    else:
        lines += [f">>> out = [t.update(bar) for bar in bars(t, {EXAMPLE_BARS})]",
                  ">>> first = next((i for i, row in enumerate(out) if all(v == v for v in row)), None)",
                  ">>> t.warm_up_period(), first",
                  f">>> rounded(out[{EXAMPLE_BARS - 1} if first is None else first])"]
    return run_lines("\n".join(lines) + "\n", namespace)


def examples(ds: list[dict]) -> str:
    namespace: dict = {}
    run_lines(EXAMPLE_PRELUDE, namespace)
    out = [
        "# Examples",
        "",
        f"<!-- {BEGIN.format('the whole page')} -->",
        "",
        "Each class's example, run on the bundled daily SPY bars. A transform shows its warm-up",
        "and the first bar at which every output is present, then those outputs; a target shows its",
        "forward period and its first three labels. The docs tests run this page.",
        "",
        "<!-- the session every example starts from -->",
        "```pycon",
        EXAMPLE_PRELUDE.rstrip("\n"),
        "",
        "```",
        "<!-- end of the session every example starts from -->",
        "",
    ]
    for d in ds:
        if not d["example"]:
            continue
        out += [f"## {d['name']}", "", f"<!-- example {d['name']} -->", "```pycon",
                *example_session(d, namespace), "", "```", f"<!-- end of example {d['name']} -->", ""]
    out.append(f"<!-- {END.format('the whole page')} -->")
    return "\n".join(out) + "\n"


def replace_regions(text: str, regions: dict[str, str], comment: tuple[str, str], path: pathlib.Path) -> str:
    left, right = comment
    for name, body in regions.items():
        begin = f"{left}{BEGIN.format(name)}{right}\n"
        end = f"{left}{END.format(name)}{right}\n"
        if begin not in text or end not in text:
            raise SystemExit(f"{path.relative_to(ROOT)}: the markers of region {name!r} are missing")
        head, rest = text.split(begin, 1)
        _, tail = rest.split(end, 1)
        text = head + begin + body + end + tail
    return text


def derived() -> dict[pathlib.Path, str]:
    ds = describe()
    hash_comment = ("# -- ", " --")
    html_comment = ("<!-- ", " -->")
    files = {
        ROOT / "python" / "_vexal.pyi": (stub_regions(ds), hash_comment),
        ROOT / "python" / "vexal" / "__init__.pyi": (reexport_region(ds), hash_comment),
        ROOT / "README.md": (readme_regions(ds), html_comment),
        ROOT / "docs" / "snapshot-format.md": ({**snapshot_regions(ds), **size_regions(ds)}, html_comment),
    }
    out = {path: replace_regions(path.read_text(), regions, comment, path)
           for path, (regions, comment) in files.items()}
    out[ROOT / "docs" / "reference.md"] = reference(ds)
    out[ROOT / "docs" / "api" / "examples.md"] = examples(ds)
    return out


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="report differences instead of writing")
    args = parser.parse_args(argv)
    stale = []
    for path, text in derived().items():
        current = path.read_text() if path.exists() else None
        if current == text:
            continue
        stale.append(path.relative_to(ROOT))
        if not args.check:
            path.write_text(text)
    if args.check and stale:
        print("out of date (run python scripts/derive.py):", *stale, sep="\n  ")
        return 1
    for path in stale:
        print("wrote", path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
