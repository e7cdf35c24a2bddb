"""The gallery page: the samples it embeds, one card per catalogue row, its
size at full catalogue size, and how it behaves in headless Chromium."""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import kinetrope
import pytest
from builtin_tables import declared_patterns
from formula_table import FORMULA_NAMES

GALLERY_SCRIPT = Path(__file__).parents[2] / "examples" / "gallery.py"
_spec = importlib.util.spec_from_file_location("gallery", GALLERY_SCRIPT)
gallery = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gallery)

PAGE_LIMIT = 10_000_000
FULL_SIZE = 1731


@pytest.fixture(scope="module")
def index(tmp_path_factory):
    """The page as the documented command writes it."""
    out = tmp_path_factory.mktemp("gallery")
    subprocess.run([sys.executable, str(GALLERY_SCRIPT), "--out", str(out)], check=True, capture_output=True)
    return out / "index.html"


@pytest.fixture(scope="module")
def page_rows(index):
    return [gallery.decode_row(row) for row in gallery.page_data(index.read_text())["rows"]]


@pytest.fixture(scope="module")
def full_size(tmp_path_factory):
    """A stand-in catalogue of the final size, every row of the largest kind."""
    rows, sampler = gallery.synthetic_rows(FULL_SIZE)
    return gallery.write_gallery(tmp_path_factory.mktemp("full"), rows, sampler), rows, sampler


def test_one_card_row_per_catalogue_row_in_order(page_rows):
    fields = ["name", "description", "period_pips", "dimensions"]
    assert [[r[f] for f in fields] for r in page_rows] == [[r[f] for f in fields] for r in kinetrope.catalogue()]


def test_collections_come_from_the_installed_header(page_rows):
    expected = {name: "formula" for name in FORMULA_NAMES} | {name: c for c, name in declared_patterns()}
    assert {r["name"]: r["collection"] for r in page_rows} == expected


def test_every_pip_of_every_row_is_stored_within_tolerance_of_kinetrope_sample(page_rows):
    worst = (0.0, None, None)
    for row in page_rows:
        assert row["consumed"], row["name"]
        assert [pip for pip, _ in row["samples"]] == list(range(row["period_pips"])), row["name"]
        for pip, values in row["samples"]:
            expected = kinetrope.sample(row["name"], pip).as_tuple()
            error = max(abs(a - b) for a, b in zip(values, expected))
            if error > worst[0]:
                worst = (error, row["name"], pip)
    assert worst[0] <= gallery.TOLERANCE <= 0.005, worst


@pytest.mark.parametrize("values", [
    [0.0, 0.1, 0.2, 0.1],
    [-1.0, 1.0, -1.0, 0.999],  # full-range jumps take the escape form
    [0.12, 0.12 + 31 / 256, 0.12 + 31 / 256 - 32 / 256],  # the largest step inside one digit, and one beyond
    [0.7071067811865476, -0.0, 1e-13, -0.705537011479],
])
def test_axis_encoding_round_trips_within_tolerance(values):
    text = gallery.encode_axis(values)
    decoded, end = gallery.decode_axis(text + "tail", len(values))
    assert end == len(text)
    assert all(abs(a - b) <= gallery.TOLERANCE for a, b in zip(decoded, values))


def test_page_needs_no_network(index):
    html = index.read_text()
    assert not re.search(r"<link|<img|<iframe|\bsrc\s*=|\bhref\s*=|@import|url\(|https?:|fetch\(|XMLHttpRequest", html)


def test_text_in_the_data_cannot_close_the_script(tmp_path):
    row = dict(name="tricky", description="</script><b>bold</b>", period_pips=64, dimensions=1, collection="x")
    html = gallery.build_page([row], lambda name, pip: (0.0, 0.0, 0.0))
    assert html.count("</script>") == html.count("<script")
    assert gallery.decode_row(gallery.page_data(html)["rows"][0])["description"] == row["description"]


def test_full_size_page_stays_under_the_limit(full_size):
    index, rows, sampler = full_size
    assert index.stat().st_size <= PAGE_LIMIT
    stored = [gallery.decode_row(r) for r in gallery.page_data(index.read_text())["rows"]]
    assert len(stored) == FULL_SIZE and all(len(r["samples"]) == 1024 for r in stored)
    for row in stored[:: FULL_SIZE // 7]:
        assert all(max(abs(a - b) for a, b in zip(values, sampler(row["name"], pip))) <= gallery.TOLERANCE
                   for pip, values in row["samples"])


# In headless Chromium. Skipped only where no Chromium can be had; CI
# installs it, so there a missing browser is a failure.


@pytest.fixture(scope="module")
def browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    chromium = gallery.find_chromium()
    driver_path = shutil.which("chromedriver") or next(
        (p for p in ("/usr/lib/chromium/chromedriver",) if Path(p).exists()), None)
    if chromium is None or driver_path is None:
        if os.environ.get("CI"):
            pytest.fail("CI must provide chromium and chromedriver")
        pytest.skip("no Chromium with its driver on this machine")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1440,1000"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # Giving both paths keeps Selenium from looking for a driver to download.
    driver = webdriver.Chrome(options=options, service=Service(driver_path))
    yield driver
    driver.quit()


def open_page(browser, index):
    from selenium.webdriver.support.ui import WebDriverWait

    browser.get(index.resolve().as_uri())
    WebDriverWait(browser, 30).until(
        lambda d: d.execute_script("return !!(window.kinetropeGallery && kinetropeGallery.firstScreenMs)"))
    return browser


def wait_for(browser, script, timeout=10):
    from selenium.webdriver.support.ui import WebDriverWait

    return WebDriverWait(browser, timeout).until(lambda d: d.execute_script(script))


def script_errors(browser):
    logged = [entry["message"] for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    return browser.execute_script("return window.galleryErrors") + logged


def test_browser_shows_every_card_and_loads_nothing(browser, index):
    page = open_page(browser, index)
    count = len(kinetrope.catalogue())
    assert page.execute_script("return document.querySelectorAll('.card').length") == count
    assert page.find_element("id", "count").text == f"{count} of {count} patterns"
    assert page.execute_script("return performance.getEntriesByType('resource').length") == 0
    assert script_errors(page) == []


def expected_names(words, collection, dims):
    rows, collections = kinetrope.catalogue(), {n: c for c, n in declared_patterns()}
    return [r["name"] for r in rows
            if all(w in f"{r['name']} {r['description']}".lower() for w in words.lower().split())
            and collection in ("", collections.get(r["name"], "formula")) and dims in ("", str(r["dimensions"]))]


@pytest.mark.parametrize("words, collection, dims", [
    ("roll", "", ""),
    ("FOUR-BEAT sine", "", ""),
    ("lfo", "expansion", ""),
    ("", "formula", "2"),
    ("", "", "3"),
    ("no such pattern anywhere", "", ""),
])
def test_filters_narrow_the_cards_to_the_matching_names(browser, index, words, collection, dims):
    from selenium.webdriver.support.ui import Select

    page = open_page(browser, index)
    page.find_element("id", "filter-text").send_keys(words)
    Select(page.find_element("id", "filter-collection")).select_by_value(collection)
    Select(page.find_element("id", "filter-dims")).select_by_value(dims)
    expected = expected_names(words, collection, dims)
    assert expected or words.startswith("no such")
    assert page.execute_script("return kinetropeGallery.shown()") == expected
    shown = [card.get_attribute("data-name") for card in page.find_elements("css selector", ".card")
             if card.is_displayed()]
    assert shown == expected
    assert page.find_element("id", "count").text == f"{len(expected)} of {len(kinetrope.catalogue())} patterns"
    assert script_errors(page) == []


def test_the_point_moves_with_the_clock_and_stops_with_the_button(browser, index):
    page = open_page(browser, index)
    name = page.execute_script("return kinetropeGallery.drawn()[0]")
    moment = ("const r = kinetropeGallery.lastDrawn(arguments[0]);"
              "const c = document.querySelector(`.card[data-name='${arguments[0]}'] canvas:last-child`);"
              "return [r.pip, r.x, r.y, c.toDataURL()];")
    first = page.execute_script(moment, name)
    wait_for(page, f"return kinetropeGallery.lastDrawn('{name}').pip !== {first[0]}")
    second = page.execute_script(moment, name)
    assert second[0] != first[0] and second[3] != first[3]
    page.find_element("id", "play").click()
    assert page.execute_script("return kinetropeGallery.playing()") is False
    stopped = page.execute_script(moment, name)
    page.execute_script("return new Promise((done) => setTimeout(done, 250))")
    assert page.execute_script(moment, name) == stopped
    assert script_errors(page) == []


def test_tempo_sets_the_clock_rate(browser, index):
    page = open_page(browser, index)
    tempo = page.find_element("id", "tempo")
    tempo.clear()
    tempo.send_keys("90")
    assert page.execute_script("return kinetropeGallery.bpm()") == 90
    rate = ("const a = [performance.now(), kinetropeGallery.pip()];"
            "return new Promise((done) => setTimeout(() =>"
            " done((kinetropeGallery.pip() - a[1]) / (performance.now() - a[0]) * 60000 / 64), 300));")
    assert page.execute_script(rate) == pytest.approx(90, rel=1e-2)


def test_the_page_decodes_the_samples_as_stored(browser, index, page_rows):
    page = open_page(browser, index)
    collections = {r["collection"]: r for r in reversed(page_rows)}
    for row in [page_rows[0], *collections.values()]:
        decoded = page.execute_script("return kinetropeGallery.samples(arguments[0])", row["name"])
        assert [(s[0], tuple(s[1:])) for s in decoded] == row["samples"], row["name"]


def test_full_size_page_draws_only_what_comes_into_view(browser, full_size):
    index, rows, _ = full_size
    page = open_page(browser, index)
    assert page.execute_script("return kinetropeGallery.rows") == FULL_SIZE
    assert 0 < len(page.execute_script("return kinetropeGallery.drawn()")) < 60
    page.execute_script("window.scrollTo(0, document.body.scrollHeight)")
    wait_for(page, f"return kinetropeGallery.drawn().includes('{rows[-1]['name']}')")
    assert rows[0]["name"] not in page.execute_script("return kinetropeGallery.drawn()")
    assert script_errors(page) == []
