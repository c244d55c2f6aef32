"""Writes the site's derived pages and figures when a build starts.

- api/classes/NAME.md: one page per class of the native registry, from
  ``_vexal._describe()``: its signature with defaults, inputs and outputs by
  position, the formula, warm-up, missing-value policy, snapshot tag and
  fields, and the class's example session from api/examples.md (which
  scripts/derive.py writes and the docs tests run).
- gallery/_figures/*.png: the demo's figure and one figure per family of
  indicators, computed from the bundled data.

Everything written here is below a folder that .gitignore names: it is made
again by every build, so it cannot drift from the module.
"""

from __future__ import annotations

import pathlib
import shutil

import _vexal

DOCS = pathlib.Path(__file__).resolve().parent.parent
CLASSES = DOCS / "api" / "classes"
FIGURES = DOCS / "gallery" / "_figures"

FACTS = (
    ("kind", "kind"),
    ("family", "family"),
    ("inputs, by position", "reads"),
    ("outputs, by position", "writes"),
    ("options", "options_note"),
    ("warm-up (bars before every output can be present)", "warm_up"),
    ("missing value", "missing"),
    ("TA-Lib", "talib"),
    ("snapshot fields", "state"),
)
OPTION_TYPES = {
    "names": "list of str",
    "name": "str",
    "count": "int, at least 0",
    "number": "float",
    "optional number": "float or None",
}


def describe() -> list[dict]:
    return list(_vexal._describe())


def cell(text: str) -> str:
    return text.replace("|", "\\|") if text else "none"


def families(ds: list[dict]) -> dict[str, list[dict]]:
    out: dict[str, list[dict]] = {}
    for d in ds:
        out.setdefault(d["family"], []).append(d)
    return out


def class_page(d: dict) -> str:
    name = d["name"]
    rows = ["| | |", "| --- | --- |"]
    rows += [f"| {label} | {cell(d[key])} |" for label, key in FACTS]
    rows.append(f"| snapshot tag | `{name}` |")
    params = []
    for o in d["options"]:
        default = "" if o["required"] else f", default `{o['default']!r}`"
        params.append(f"- **{o['name']}** ({OPTION_TYPES[o['type']]}{default})")
    return "\n".join([
        f"# {name}",
        "",
        "```{py:currentmodule} vexal",
        "```",
        "",
        f"````{{py:class}} {name}{d['signature']}",
        "",
        d["summary"],
        "",
        *([f"**Formula.** {d['formula']}", ""] if d.get("formula") else []),
        ":::{rubric} Facts",
        ":::",
        "",
        *rows,
        "",
        ":::{rubric} Parameters",
        ":::",
        "",
        *params,
        "",
        usage(d),
        "",
        *example_part(d),
        "````",
        "",
    ])


def usage(d: dict) -> str:
    if d["kind"] == "target":
        return ("A target labels whole columns in a {py:class}`~vexal.TargetPipeline`; see the guide on labels "
                "and leak-free splits.")
    return ("A transform runs on its own (`update`, `peek`, `reset`, `snapshot`) or in a "
            "{py:class}`~vexal.FeaturePipeline`; see the guides on live trading and research.")


def example_part(d: dict) -> list[str]:
    if not d["example"]:
        return []
    name = d["name"]
    return [
        ":::{rubric} Example",
        ":::",
        "",
        "```{include} ../examples.md",
        ":start-after: <!-- the session every example starts from -->",
        ":end-before: <!-- end of the session every example starts from -->",
        "```",
        "",
        "```{include} ../examples.md",
        f":start-after: <!-- example {name} -->",
        f":end-before: <!-- end of example {name} -->",
        "```",
    ]


def index_page(ds: list[dict]) -> str:
    out = ["# Transforms and targets", "",
           "Every class of the native registry, by family, in the module's order.", ""]
    for family, members in families(ds).items():
        out += [f"## {family.capitalize()}", "", "```{toctree}", ":maxdepth: 1", "",
                *(m["name"] for m in members), "```", ""]
    return "\n".join(out)


def write_if_changed(path: pathlib.Path, text: str) -> None:
    # An unchanged file keeps its time, so an incremental build rereads nothing.
    if not path.exists() or path.read_text() != text:
        path.write_text(text)


def write_class_pages() -> None:
    ds = describe()
    CLASSES.mkdir(parents=True, exist_ok=True)
    names = {d["name"] for d in ds}
    for stale in CLASSES.glob("*.md"):
        if stale.stem not in names | {"index"}:
            stale.unlink()
    for d in ds:
        write_if_changed(CLASSES / f"{d['name']}.md", class_page(d))
    write_if_changed(CLASSES / "index.md", index_page(ds))


def on_builder_inited(app) -> None:
    write_class_pages()
    import gallery

    FIGURES.mkdir(parents=True, exist_ok=True)
    ds = describe()
    gallery.draw_all(FIGURES, ds)
    write_if_changed(FIGURES / "families.md", gallery.families_page(ds))
    bench = DOCS.parent / "bench" / "results.png"
    target = DOCS / "guides" / "_bench" / "results.png"
    target.parent.mkdir(exist_ok=True)
    shutil.copyfile(bench, target)


def is_clean_rst(text: str) -> bool:
    """Whether docutils reads `text` without a warning or error."""
    from docutils.core import publish_doctree
    from docutils.utils import Reporter

    doctree = publish_doctree(text, settings_overrides={"report_level": Reporter.SEVERE_LEVEL + 1,
                                                        "halt_level": Reporter.SEVERE_LEVEL + 1})
    return not any(m["level"] >= Reporter.WARNING_LEVEL for m in doctree.findall(nodes_system_message()))


def nodes_system_message():
    from docutils import nodes

    return nodes.system_message


def escape(text: str) -> str:
    for mark in ("\\", "*", "`", "|", "_"):
        text = text.replace(mark, "\\" + mark)
    return text


def verbatim_docstring(app, what, name, obj, options, lines) -> None:
    # The docstrings are plain text for help(); most are valid reStructuredText
    # too. One that is not is shown as it is written rather than misread: its
    # first paragraph (the summary autosummary lists) as text, the rest verbatim.
    if not lines or is_clean_rst("\n".join(lines)):
        return
    end = lines.index("") if "" in lines else len(lines)
    head, rest = lines[:end], lines[end:]
    body = [line for line in rest]
    while body and not body[0].strip():
        body.pop(0)
    lines[:] = [escape(line) for line in head] + ([""] + ["::", ""] + ["    " + line for line in body] if body else [])


def clear_generated(app, config) -> None:
    # autosummary writes its pages but never removes one whose name left the list.
    shutil.rmtree(DOCS / "api" / "generated", ignore_errors=True)


def setup(app):
    app.connect("config-inited", clear_generated)
    app.connect("builder-inited", on_builder_inited)
    # Before numpydoc (priority 500), which would build on a misread docstring.
    app.connect("autodoc-process-docstring", verbatim_docstring, priority=400)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
