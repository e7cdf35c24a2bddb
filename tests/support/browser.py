"""A pytest plugin: one headless Chromium per test worker, shared by every
test that asks for `browser`.

Under load Chromium or its renderer can die ("session deleted as the browser
has closed the connection", then "connection refused" to chromedriver). The
`browser` fixture hands out a live driver, starting a new Chromium when the
last one is gone, and a test that failed because the browser died (never one
whose assertion failed, nor one whose page raised a script error) runs once
more (pytest-rerunfailures), on the new browser. Skipped only where no
Chromium can be had; CI installs it, so there a missing browser fails.
"""

import os
import shutil
from pathlib import Path

import pytest

CHROMIUM_NAMES = ("chromium", "chromium-browser", "google-chrome", "chrome")
DRIVER_PATHS = ("/usr/lib/chromium/chromedriver",)
# The messages of a browser or driver that went away, as opposed to a page
# that misbehaved: only these earn a second run.
BROWSER_DIED = [
    r"^InvalidSessionIdException",
    r"session deleted",
    r"browser has closed the connection",
    r"(chrome|browser) not reachable",
    r"disconnected: ",
    r"from renderer",
    r"tab crashed",
    r"^MaxRetryError",
    r"^ConnectionRefusedError",
    r"^ProtocolError: \('Connection aborted",
]


def find_chromium():
    """Chromium and chromedriver paths, or None where either is missing."""
    chromium = next((found for name in CHROMIUM_NAMES if (found := shutil.which(name))), None)
    driver = shutil.which("chromedriver") or next((p for p in DRIVER_PATHS if Path(p).exists()), None)
    return (chromium, driver) if chromium and driver else None


def alive(driver):
    try:
        driver.execute_script("return 1")
        return True
    except Exception:  # any failure to answer means the session is unusable
        return False


class Chromium:
    """The worker's browser, started on first use and again after it died."""

    def __init__(self, paths):
        self.paths = paths
        self.driver = None
        self.starts = 0

    def live(self):
        if self.driver is not None and not alive(self.driver):
            self.quit()
        if self.driver is None:
            self.driver = self._start()
            self.starts += 1
        return self.driver

    def _start(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        chromium, driver_path = self.paths
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        # WebGL (the three.js sketch) draws in software through SwiftShader.
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1440,1000", "--use-angle=swiftshader", "--enable-unsafe-swiftshader"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # Giving both paths keeps Selenium from looking for a driver to download.
        return webdriver.Chrome(options=options, service=Service(driver_path))

    def quit(self):
        driver, self.driver = self.driver, None
        if driver is not None:
            try:
                driver.quit()
            except Exception:  # a dead browser cannot be asked to quit
                pass


@pytest.fixture(scope="session")
def chromium():
    paths = find_chromium()
    if paths is None:
        if os.environ.get("CI"):
            pytest.fail("CI must provide chromium and chromedriver")
        pytest.skip("no Chromium with its driver on this machine")
    worker_browser = Chromium(paths)
    yield worker_browser
    worker_browser.quit()


@pytest.fixture
def browser(chromium):
    """A live WebDriver on the worker's one Chromium; pages left open by
    earlier tests stay open, so a test opens what it needs."""
    return chromium.live()


def pytest_collection_modifyitems(config, items):
    if not config.pluginmanager.hasplugin("rerunfailures"):
        return  # without pytest-rerunfailures (the test extra has it) a dead browser fails its test
    for item in items:
        if "browser" in getattr(item, "fixturenames", ()):
            item.add_marker(pytest.mark.flaky(reruns=1, only_rerun=BROWSER_DIED))
