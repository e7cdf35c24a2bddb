"""The documentation site: built in strict mode by the README's command, its
start page and search working in headless Chromium, and a docstring on every
public item the API reference shows."""

import functools
import http.server
import os
import re
import subprocess
import sys
import threading
from pathlib import Path

import pytest
from optional import need

REPO = Path(__file__).parents[2]


def public_items(griffe, obj):
    """Modules, classes and functions (methods too) not named with `_`,
    defined where they are listed rather than imported there."""
    for name, member in obj.members.items():
        if member.is_alias or name.startswith("_") or member.kind.value not in ("module", "class", "function"):
            continue
        yield member
        yield from public_items(griffe, member)


STUBS_ONLY = {"find_stubs_package": True, "allow_inspection": False}


@pytest.mark.parametrize("package, where, options, least", [
    ("kinetrope_host", "companion", {}, 25),
    ("kinetrope", "stubs", STUBS_ONLY, 25),
    ("kinetrope_grooves", "stubs", STUBS_ONLY, 4),
])
def test_every_public_item_has_a_docstring(package, where, options, least):
    griffe = need("griffe")
    root = griffe.load(package, search_paths=[str(REPO / where)], **options)
    items = [root, *public_items(griffe, root)]
    assert len(items) > least
    assert [item.path for item in items if not item.docstring] == []


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    """The site as the README's command builds it, served on loopback (the
    search index is fetched, which a page opened from disk may not do)."""
    need("mkdocs")
    command = next(line for line in (REPO / "README.md").read_text().splitlines() if "mkdocs build" in line)
    command = re.sub(r"^python3 -m pip install \S+ && ", "", command)
    out = tmp_path_factory.mktemp("site")
    env = dict(os.environ, NO_MKDOCS_2_WARNING="1", DISABLE_MKDOCS_2_WARNING="true",
               PATH=f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}")
    done = subprocess.run(f"{command} --site-dir {out}", shell=True, cwd=REPO, env=env, capture_output=True,
                          text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-3000:]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=str(out)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_address[1]}/"
    server.shutdown()
    server.server_close()


def test_start_page_and_search_find_the_reference(browser, site):
    from selenium.webdriver.support.ui import WebDriverWait

    browser.get(site + "index.html")
    assert browser.find_element("css selector", "article h1").text.startswith("Getting started")
    nav = [a.get_attribute("href").removeprefix(site)
           for a in browser.find_elements("css selector", "nav.md-nav--primary a.md-nav__link[href]")]
    assert {"reference/host.html", "reference/module.html", "reference/command.html", "changelog.html",
            "guides/lights.html"} <= set(nav)
    # On a wide window the search field sits in the header.
    query = browser.find_element("css selector", "input[data-md-component='search-query']")
    query.click()
    query.send_keys("TempoClock")
    # The results are drawn again as the index loads: read their links in one step, until they settle on it.
    links = "return [...document.querySelectorAll('.md-search-result__item a[href]')].map(a => a.href)"
    found = WebDriverWait(browser, 60).until(
        lambda d: [href for href in d.execute_script(links) if "reference/host.html" in href])
    assert found
