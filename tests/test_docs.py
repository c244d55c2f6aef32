"""The documentation site: it builds without a warning, documents every public name with its
runtime signature, its sessions run as written, and a real browser can read and search it."""

import doctest
import functools
import html
import http.server
import inspect
import pathlib
import re
import shutil
import subprocess
import sys
import threading

import pytest

import _vexal
import vexal

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
HTML = DOCS / "_build" / "html"
SCREENSHOTS = HTML / "_screenshots"
# The pages a reader runs: every code block in them is a session the tests replay.
SESSIONS = sorted([DOCS / "index.md", DOCS / "api" / "examples.md", *(DOCS / "guides").glob("*.md")])
REGISTRY = [d["name"] for d in _vexal._describe()]

pytest.importorskip("sphinx", reason="the docs extra is not installed: pip install '.[docs]'")
# One worker builds the site and reads it; two building into one folder would race.
pytestmark = pytest.mark.xdist_group("docs site")


@pytest.fixture(scope="module")
def site() -> pathlib.Path:
    # A fresh environment (-E) re-reads every page, so a warning cannot hide in a cached one.
    out = subprocess.run([sys.executable, "-m", "sphinx", "-W", "--keep-going", "-E", "-q", "-b", "html",
                          str(DOCS), str(HTML)], cwd=ROOT, capture_output=True, text=True, timeout=600)
    assert out.returncode == 0, out.stdout + out.stderr
    assert out.stderr.strip() == "", out.stderr
    return HTML


def page_of(name: str) -> pathlib.Path:
    # A registry class's page is written from its description; every other name's by autosummary.
    if name in REGISTRY:
        return HTML / "api" / "classes" / f"{name}.html"
    return HTML / "api" / "generated" / f"vexal.{name}.html"


def signature_entry(page: pathlib.Path, name: str) -> str:
    found = re.search(rf'<dt class="sig sig-object py" id="vexal\.{name}">(.*?)</dt>', page.read_text(), re.S)
    assert found, f"{page.relative_to(HTML)} has no entry for vexal.{name}"
    return found.group(1)


def as_text(fragment: str) -> str:
    return re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]+>", "", fragment)).replace("¶", "")).strip()


def rendered_parameters(entry: str) -> list[str]:
    """Each parameter as `name` or `name=default`, annotations dropped; `*` and `/` as markers."""
    out = []
    for param in re.findall(r'<em class="sig-param">(.*?)</em>', entry, re.S):
        head, eq, default = as_text(param).partition("=")
        name = head.split(":")[0].strip()
        out.append(f"{name}={default.strip()}" if eq else name)
    return out


def runtime_parameters(signature: inspect.Signature) -> list[str]:
    out, kinds = [], inspect.Parameter
    params = list(signature.parameters.values())
    for i, p in enumerate(params):
        if p.kind is kinds.KEYWORD_ONLY and not any(q.kind is kinds.VAR_POSITIONAL for q in params[:i]) \
                and (i == 0 or params[i - 1].kind is not kinds.KEYWORD_ONLY):
            out.append("*")
        prefix = {kinds.VAR_POSITIONAL: "*", kinds.VAR_KEYWORD: "**"}.get(p.kind, "")
        out.append(prefix + p.name if p.default is p.empty else f"{p.name}={p.default!r}")
        if p.kind is kinds.POSITIONAL_ONLY and (i + 1 == len(params) or params[i + 1].kind is not p.kind):
            out.append("/")
    return out


def test_every_public_name_has_a_page_showing_its_runtime_signature(site):
    problems = []
    for name in vexal.__all__:
        obj, page = getattr(vexal, name), page_of(name)
        if not page.exists():
            problems.append(f"{name}: no page ({page.relative_to(HTML)})")
            continue
        entry = signature_entry(page, name)
        runtime = inspect.signature(obj)
        if name in REGISTRY:
            # A registry class shows exactly its text signature, defaults included.
            shown = as_text(entry).removeprefix("class").strip()
            expected = f"vexal.{name}{obj.__text_signature__}"
            if shown != expected or obj.__text_signature__ != str(runtime):
                problems.append(f"{name}: page {shown!r}, runtime {expected!r} / {runtime}")
        elif rendered_parameters(entry) != runtime_parameters(runtime):
            problems.append(f"{name}: page {rendered_parameters(entry)}, runtime {runtime_parameters(runtime)}")
    assert not problems, "\n".join(problems)
    # Pages are made per registry class, so a class that is not public would still have one.
    assert set(REGISTRY) <= set(vexal.__all__)


def test_registry_pages_carry_the_description(site):
    for d in _vexal._describe():
        text = as_text(page_of(d["name"]).read_text())
        for key in ("formula", "warm_up", "missing", "reads", "writes"):
            assert d[key].replace("``", "") in text, (d["name"], key)
        assert f"snapshot tag {d['name']} " in text, d["name"]


def fenced_blocks(text: str) -> list[tuple[str, str]]:
    return re.findall(r"^```(\S*)\n(.*?)^```$", text, re.S | re.M)


@pytest.mark.parametrize("path", SESSIONS, ids=lambda p: str(p.relative_to(DOCS)))
def test_every_code_block_of_a_page_runs_as_written(path, tmp_path, monkeypatch):
    text = path.read_text()
    blocks = [(lang, body) for lang, body in fenced_blocks(text) if not lang.startswith("{")]
    for lang, body in blocks:
        # A block the tests cannot run would rot: every one is a session.
        assert lang == "pycon" and body.lstrip().startswith(">>> "), f"{path.name}: a ```{lang} block\n{body}"
    monkeypatch.chdir(tmp_path)
    source = "\n\n".join(body for _, body in blocks)
    test = doctest.DocTestParser().get_doctest(source, {"__name__": "__docs__"}, path.name, str(path), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    runner.run(test, out=report.append)
    assert runner.failures == 0 and runner.tries == len(test.examples) == source.count("\n>>> ") + bool(blocks), \
        "".join(report)


def test_the_gallery_has_the_demo_and_every_family(site):
    figures = {p.name for p in (DOCS / "gallery" / "_figures").glob("*.png")}
    families = {f"family-{d['family']}.png" for d in _vexal._describe()}
    assert families | {"demo-spy.png", "demo-btc.png"} <= figures
    gallery = (site / "gallery" / "index.html").read_text()
    assert all(name in gallery for name in families)


# -- a real browser -------------------------------------------------------------------------

def browser():
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not (chromium and driver):
        pytest.skip("no headless browser here: install Debian's chromium and chromium-driver to check the site in one")
    webdriver = pytest.importorskip("selenium.webdriver")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--window-size=1280,1000"):
        options.add_argument(flag)
    # The driver is given, so Selenium looks nothing up on the network.
    return webdriver.Chrome(options=options, service=webdriver.ChromeService(executable_path=driver))


@pytest.fixture(scope="module")
def served(site):
    handler = functools.partial(QuietHandler, directory=str(site))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_address[1]}"
    server.shutdown()
    server.server_close()
    thread.join()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def test_a_browser_renders_the_site_and_its_search_finds_rsi(served):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait

    SCREENSHOTS.mkdir(exist_ok=True)
    driver = browser()
    try:
        driver.get(f"{served}/index.html")
        assert "vexal" in driver.title
        heading = driver.find_element(By.TAG_NAME, "h1").text
        assert heading.startswith("vexal"), heading
        assert driver.find_element(By.CSS_SELECTOR, "div.highlight").is_displayed()
        driver.save_screenshot(str(SCREENSHOTS / "index.png"))

        driver.get(f"{served}/api/classes/Kama.html")
        shown = driver.find_element(By.ID, "vexal.Kama").text.replace("¶", "").replace("#", "").strip()
        assert shown == f"class vexal.Kama{_vexal.Kama.__text_signature__}", shown
        driver.save_screenshot(str(SCREENSHOTS / "api-kama.png"))

        driver.get(f"{served}/index.html")
        box = driver.find_element(By.CSS_SELECTOR, "input[name='q']")
        box.send_keys("Rsi", Keys.ENTER)
        links = WebDriverWait(driver, 20).until(lambda d: [
            a for a in d.find_elements(By.CSS_SELECTOR, "#search-results a") if "classes/Rsi.html" in
            (a.get_attribute("href") or "")])
        assert links and "Rsi" in links[0].text, [a.text for a in links]
        driver.save_screenshot(str(SCREENSHOTS / "search-rsi.png"))
    finally:
        driver.quit()
    assert {p.name for p in SCREENSHOTS.glob("*.png")} >= {"index.png", "api-kama.png", "search-rsi.png"}
