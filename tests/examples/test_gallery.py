"""The gallery page: the samples it embeds, one card per catalogue row, its
size at full catalogue size, and how it behaves in headless Chromium."""

import importlib.util
import re
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


# In headless Chromium, the worker's one browser (tests/support/browser.py).


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
    # One script for all cards: a WebDriver round trip per card took minutes on a busy machine.
    shown = page.execute_script(
        "return [...document.querySelectorAll('.card')].filter((c) => c.checkVisibility()).map((c) => c.dataset.name)")
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


# Choosing a pattern: one page load shared by the tests below, each leaving
# the page as it found it (filters cleared, nothing open or pinned).


@pytest.fixture
def chooser(browser, index):
    """The page as the last of these tests left it, or freshly loaded when
    another test (or a new browser) has taken its place."""
    if not browser.execute_script("return !!window.chooserPage"):
        open_page(browser, index).execute_script("window.chooserPage = true")
    yield browser
    assert script_errors(browser) == []


def reset(page):
    page.execute_script("location.hash = ''")
    page.find_element("id", "clear").click()
    wait_for(page, "return kinetropeGallery.open() === null && kinetropeGallery.pinned().length === 0")


def catalogue_facts():
    collections = {n: c for c, n in declared_patterns()}
    return [dict(r, collection=collections.get(r["name"], "formula"), family=r["name"].split("_")[0])
            for r in kinetrope.catalogue()]


@pytest.mark.parametrize("field, value, words, expected", [
    ("", "", "atlas", lambda r: r["collection"] == "atlas" or "atlas" in r["description"].lower()),
    ("", "", "lissajous", lambda r: r["family"] in ("weave", "path") or "lissajous" in r["description"].lower()),
    ("filter-family", "stick", "", lambda r: r["family"] == "stick"),
    ("filter-groove", "house_classic", "", lambda r: r["name"].startswith("beat_house_classic_")),
    ("filter-motion", "surge", "", lambda r: r["family"] == "beat" and r["name"].endswith("_surge")),
    ("filter-period", "1024", "atlas", lambda r: r["period_pips"] == 1024 and r["collection"] == "atlas"),
    ("filter-dims", "1", "", lambda r: r["dimensions"] == 1),
])
def test_search_and_filters_show_the_matching_rows_and_count(chooser, field, value, words, expected):
    from selenium.webdriver.support.ui import Select

    reset(chooser)
    if field:
        Select(chooser.find_element("id", field)).select_by_value(value)
    chooser.find_element("id", "filter-text").send_keys(words)
    names = [r["name"] for r in catalogue_facts() if expected(r)]
    assert len(names) >= 4
    assert chooser.execute_script("return kinetropeGallery.shown()") == names
    assert chooser.find_element("id", "count").text == f"{len(names)} of {FULL_SIZE} patterns"


def test_beat_grid_has_grooves_down_and_motions_across(chooser):
    reset(chooser)
    grid = chooser.execute_script(
        "const t = document.querySelector('.beat-grid');"
        "return [[...t.tHead.rows[0].cells].slice(1).map((c) => c.textContent),"
        " [...t.tBodies[0].rows].map((r) => r.cells[0].textContent),"
        " [...t.querySelectorAll('td button')].map((b) => b.title)]")
    motions, grooves, cells = grid
    assert len(motions) == 16 and len(grooves) == 68 and len(cells) == 1088
    assert set(cells) == {f"beat_{g}_{m}" for g in grooves for m in motions} & {r["name"] for r in catalogue_facts()}


def test_permalink_restores_filters_open_pattern_and_pins(chooser):
    from selenium.webdriver.support.ui import Select

    reset(chooser)
    Select(chooser.find_element("id", "filter-collection")).select_by_value("dancefloor")
    Select(chooser.find_element("id", "filter-motion")).select_by_value("dive")
    chooser.find_element("id", "filter-text").send_keys("techno")
    shown = chooser.execute_script("return kinetropeGallery.shown()")
    for name in shown[:2]:
        chooser.find_element("css selector", f".card[data-name='{name}'] .pin-button").click()
    chooser.find_element("css selector", f".card[data-name='{shown[2]}'] h2 button").click()
    url = chooser.current_url
    chooser.get("about:blank")
    chooser.get(url)
    wait_for(chooser, "return !!(window.kinetropeGallery && kinetropeGallery.firstScreenMs)")
    assert chooser.execute_script("return kinetropeGallery.shown()") == shown
    assert chooser.execute_script("return kinetropeGallery.open()") == shown[2]
    assert chooser.execute_script("return kinetropeGallery.pinned()") == shown[:2]
    assert chooser.find_element("id", "filter-text").get_attribute("value") == "techno"
    reset(chooser)


def test_pins_keep_at_most_four_on_one_clock(chooser):
    reset(chooser)
    names = chooser.execute_script("return kinetropeGallery.drawn()")[:5]
    for name in names:
        chooser.find_element("css selector", f".card[data-name='{name}'] .pin-button").click()
    assert chooser.execute_script("return kinetropeGallery.pinned()") == names[1:]
    assert len(chooser.find_elements("css selector", "#pins .pin canvas")) == 8
    chooser.find_element("id", "play").click()
    pips = chooser.execute_script("return kinetropeGallery.pinned().map((n) => kinetropeGallery.lastDrawn(n).pip)")
    pip = chooser.execute_script("return Math.floor(kinetropeGallery.pip())")
    assert pips == [pip % r["period_pips"] for n in names[1:] for r in kinetrope.catalogue() if r["name"] == n]
    chooser.find_element("id", "play").click()
    reset(chooser)


def test_detail_view_scrubs_to_whole_pip_samples_of_the_worst_row(chooser, page_rows):
    # The row whose stored values are furthest from the module's.
    def error(row):
        return max(max(abs(a - b) for a, b in zip(v, kinetrope.sample(row["name"], p).as_tuple()))
                   for p, v in row["samples"])
    worst = max((r for r in page_rows if r["period_pips"] >= 512), key=error)["name"]
    reset(chooser)
    chooser.find_element("id", "filter-text").send_keys(worst)
    chooser.find_element("css selector", f".card[data-name='{worst}'] h2 button").click()
    assert chooser.find_element("id", "detail").is_displayed()
    period = kinetrope.catalogue()[[r["name"] for r in kinetrope.catalogue()].index(worst)]["period_pips"]
    for pip in (0, 1, 157, 300, period - 1):
        chooser.execute_script("const s = document.getElementById('scrub'); s.value = arguments[0];"
                               "s.dispatchEvent(new Event('input'))", pip)
        drawn = chooser.execute_script("return kinetropeGallery.lastDrawn(arguments[0])", worst)
        expected = kinetrope.sample(worst, pip).as_tuple()
        assert drawn["pip"] == pip
        assert max(abs(drawn[a] - e) for a, e in zip("xyz", expected)) <= 0.005, pip
    assert chooser.execute_script("return kinetropeGallery.playing()") is False
    assert chooser.find_element("id", "scrub-read").text.startswith(f"pip {period - 1} · beat {period // 64} + 63/64")
    chooser.find_element("id", "copy-sample").click()
    assert chooser.execute_script("return kinetropeGallery.copied") == f'kinetrope.sample("{worst}", {period - 1})'
    chooser.find_element("id", "copy-name").click()
    assert chooser.execute_script("return kinetropeGallery.copied") == worst
    chooser.find_element("id", "detail-reset").click()
    assert chooser.execute_script("return kinetropeGallery.lastDrawn(arguments[0]).pip", worst) == 0
    chooser.find_element("id", "detail-close").click()
    chooser.find_element("id", "play").click()
    reset(chooser)


@pytest.mark.parametrize("typed, shown", [("1000", "300"), ("5", "20"), ("95", "95")])
def test_tempo_box_shows_the_tempo_in_force(chooser, typed, shown):
    from selenium.webdriver.common.keys import Keys

    tempo = chooser.find_element("id", "tempo")
    tempo.send_keys(Keys.CONTROL, "a")
    tempo.send_keys(typed, Keys.ENTER)
    assert tempo.get_attribute("value") == shown
    assert chooser.execute_script("return kinetropeGallery.bpm()") == int(shown)
    assert tempo.get_attribute("aria-invalid") is None


def test_names_break_only_at_underscores_and_text_is_readable(chooser):
    checks = chooser.execute_script("""
      const lum = (c) => { const v = c.match(/[\\d.]+/g).slice(0, 3).map((x) => x / 255)
        .map((x) => x <= 0.03928 ? x / 12.92 : ((x + 0.055) / 1.055) ** 2.4);
        return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]; };
      const ratio = (a, b) => { const [l, d] = [lum(a), lum(b)].sort((x, y) => y - x); return (l + 0.05) / (d + 0.05); };
      const panel = getComputedStyle(document.querySelector('.card')).backgroundColor;
      const texts = ['.meta', '.desc', '.chip', '.card h2'].map((s) => ratio(getComputedStyle(document.querySelector(s)).color, panel));
      const heads = [...document.querySelectorAll('.card h2')];
      const wraps = heads.every((h) => h.querySelectorAll('wbr').length === (h.textContent.match(/_/g) || []).length
        && getComputedStyle(h).overflowWrap === 'normal');
      return [Math.min(...texts), wraps];""")
    assert checks[0] >= 4.5 and checks[1] is True


def test_labels_drawn_on_the_figures_are_readable(chooser):
    """Every text drawn on a canvas (axis names, scale and depth labels) in
    each kind of view, against the figure's own background."""
    reset(chooser)
    worst = chooser.execute_script("""
      const drawn = [], fillText = CanvasRenderingContext2D.prototype.fillText;
      CanvasRenderingContext2D.prototype.fillText = function (...args) {
        drawn.push([this.fillStyle, this.canvas]); return fillText.apply(this, args); };
      const g = kinetropeGallery, names = g.shown(), kinds = {};
      for (const n of names) {
        const v = g.view(n), key = `${v.kind} ${v.extent < 1}`;
        if (!(key in kinds)) kinds[key] = n;
      }
      for (const n of Object.values(kinds)) { location.hash = `open=${n}`; window.dispatchEvent(new HashChangeEvent('hashchange')); }
      CanvasRenderingContext2D.prototype.fillText = fillText;
      const rgb = (c) => c.startsWith('#') ? [1, 3, 5].map((i) => parseInt(c.slice(i, i + 2), 16)) : c.match(/[\\d.]+/g).slice(0, 3).map(Number);
      const lum = (v) => { const l = v.map((x) => x / 255).map((x) => x <= 0.03928 ? x / 12.92 : ((x + 0.055) / 1.055) ** 2.4);
        return 0.2126 * l[0] + 0.7152 * l[1] + 0.0722 * l[2]; };
      const ratio = (a, b) => { const [l, d] = [lum(a), lum(b)].sort((x, y) => y - x); return (l + 0.05) / (d + 0.05); };
      const texts = drawn.filter(([style]) => typeof style === 'string');
      const ratios = texts.map(([style, canvas]) => ratio(rgb(style), [...canvas.getContext('2d').getImageData(1, 1, 1, 1).data]));
      return [Object.keys(kinds).length, texts.length, Math.min(...ratios)];""")
    kinds, texts, lowest = worst
    assert kinds >= 4 and texts >= 3 * kinds
    assert lowest >= 4.5


def test_cards_fill_a_wide_screen(chooser):
    reset(chooser)
    chooser.set_window_size(1920, 1000)
    try:
        spare = chooser.execute_script("""
          const c = document.getElementById('cards'), s = getComputedStyle(c);
          const inner = c.clientWidth - parseFloat(s.paddingLeft) - parseFloat(s.paddingRight);
          const cols = s.gridTemplateColumns.split(' ').map(parseFloat);
          return inner - cols.reduce((a, b) => a + b, 0) - parseFloat(s.columnGap) * (cols.length - 1);""")
        assert abs(spare) < 2
    finally:
        chooser.set_window_size(1440, 1000)


def test_a_drum_part_s_motions_join_the_built_ins_and_the_beat_grid(browser, tmp_path):
    engine = pytest.importorskip("kinetrope_grooves", reason="this build has no groove engine")
    score = tmp_path / "Five Four.groove"
    score.write_text("meter 5/4\nbars 1\nkick |9... .... 9... .... ....|\nsnare |.... 8... .... 8... 7...|\n")
    out = tmp_path / "gallery"
    subprocess.run([sys.executable, str(GALLERY_SCRIPT), "--out", str(out), "--groove", str(score)], check=True,
                   capture_output=True)
    rows = [gallery.decode_row(row) for row in gallery.page_data((out / "index.html").read_text())["rows"]]
    built_in = len(kinetrope.catalogue())
    assert [r["name"] for r in rows[:built_in]] == [r["name"] for r in kinetrope.catalogue()]
    own = rows[built_in:]
    tables = engine.render(engine.parse_score(score.read_text()))
    assert [(r["name"], r["collection"], r["period_pips"]) for r in own] == [
        (f"five_four_{motion}", "host", 320) for motion, _, _ in tables]
    for row, (_, _, table) in zip(own, tables):
        assert all(max(abs(a - b) for a, b in zip(values, table[pip])) <= gallery.TOLERANCE
                   for pip, values in row["samples"]), row["name"]
    page = open_page(browser, out / "index.html")
    grooves = page.execute_script(
        "return [...document.querySelector('.beat-grid').tBodies[0].rows].map((r) => r.cells[0].textContent)")
    assert grooves[-1] == "five_four" and len(grooves) == 69
    assert script_errors(page) == []
