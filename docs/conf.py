"""Sphinx configuration of vexal's documentation site.

The API pages of the native classes, the gallery's figures and the copied
benchmark chart are written when the build starts (docs/_ext/vexal_docs.py),
from the installed module's class descriptions and the bundled data, so the
site cannot drift from the library it documents.
"""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent / "_ext"))

import vexal  # noqa: E402  (the installed package, documented as it is)

project = "vexal"
author = "the vexal developers"
copyright = "the vexal developers"
release = vexal.__version__
version = release

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "numpydoc",
    "vexal_docs",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
# Included into other pages, never pages of their own.
exclude_patterns = ["_build", "_ext", "gallery/_figures"]
myst_enable_extensions = ["colon_fence"]
myst_heading_anchors = 3

autosummary_generate = True
autodoc_default_options = {"members": True, "undoc-members": False}
autodoc_member_order = "bysource"
numpydoc_show_class_members = False
numpydoc_validation_checks: set[str] = set()

# Formulas and names keep their ASCII quotes and dashes, as in the docstrings.
smartquotes = False

html_theme = "furo"
html_title = f"vexal {release}"
html_static_path: list[str] = []
html_show_sourcelink = False
