"""Size and speed of the gallery page, for the installed catalogue and for a
full-size stand-in (1731 rows, each 1024 pips with 3 axes: the largest page
any catalogue of that size can make).

  * build: writing index.html (sampling, encoding), best of a few runs;
  * bytes: the size of the page;
  * first screen: the time from navigation start until the cards in view
    have their figures drawn, as the page itself records it
    (performance.now() at the first frame after the first cards were
    drawn), in headless Chromium; median and worst of several loads.

  * frame: script time of one animation frame with 32 cards in view (the
    page's own per-frame measure), median over about two seconds.

    python3 benchmarks/bench_gallery.py [--loads N]
"""
import argparse
import importlib.util
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

GALLERY_SCRIPT = Path(__file__).parent.parent / "examples" / "gallery.py"
_spec = importlib.util.spec_from_file_location("gallery", GALLERY_SCRIPT)
gallery = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gallery)


def timed_build(out: Path, rows, sampler) -> tuple[Path, float]:
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        index = gallery.write_gallery(out, rows, sampler)
        best = min(best, time.perf_counter() - start)
    return index, best


def first_screen_ms(index: Path, loads: int) -> list[float]:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import WebDriverWait

    options = webdriver.ChromeOptions()
    options.binary_location = gallery.find_chromium()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1440,1000"):
        options.add_argument(argument)
    driver = webdriver.Chrome(options=options, service=Service(shutil.which("chromedriver")))
    try:
        times = []
        for _ in range(loads):
            driver.get(index.resolve().as_uri())
            times.append(WebDriverWait(driver, 60).until(
                lambda d: d.execute_script("return window.kinetropeGallery && kinetropeGallery.firstScreenMs")))
            errors = driver.execute_script("return window.galleryErrors")
            if errors:
                raise SystemExit(f"page reported errors: {errors}")
        # 32 cards in view: the first 32 shown, in a window tall enough for all.
        driver.set_window_size(1920, 2600)
        driver.execute_script("document.querySelectorAll('.card').forEach((c, i) => { c.hidden = i >= 32; });"
                              "window.scrollTo(0, 0)")
        driver.execute_script("return new Promise((done) => setTimeout(done, 2500))")
        frames = driver.execute_script("return kinetropeGallery.frameMs().slice(-100)")
        drawn = len(driver.execute_script("return kinetropeGallery.drawn()"))
        print(f"  frame script time with {drawn} cards drawn: median {statistics.median(frames):.2f} ms "
              f"(goal 8 ms), worst {max(frames):.2f} ms over {len(frames)} frames")
        return times
    finally:
        driver.quit()


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--loads", type=int, default=7)
    args = parser.parse_args()
    if gallery.find_chromium() is None or shutil.which("chromedriver") is None:
        sys.exit("needs chromium and chromedriver (apt-get install chromium chromium-driver)")
    with tempfile.TemporaryDirectory() as tmp:
        pages = [("installed catalogue", gallery.catalogue_rows(), gallery.sample_tuple),
                 ("full-size stand-in", *gallery.synthetic_rows())]
        for label, rows, sampler in pages:
            index, build = timed_build(Path(tmp) / label.replace(" ", "_"), rows, sampler)
            times = first_screen_ms(index, args.loads)
            print(f"{label:20s} {len(rows):5d} rows  {index.stat().st_size:>11,} bytes  build {build:6.2f} s  "
                  f"first screen median {statistics.median(times):6.0f} ms (goal 400), worst {max(times):6.0f} ms "
                  f"({args.loads} loads)")


if __name__ == "__main__":
    main()
