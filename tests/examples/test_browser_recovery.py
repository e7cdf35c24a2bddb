"""The shared browser of the browser tests (tests/support/browser.py): a
test whose browser died runs once more on a new one; a test whose assertion
failed does not."""

import textwrap
from pathlib import Path

pytest_plugins = ["pytester"]

SUPPORT = Path(__file__).parents[1] / "support"

TESTS = textwrap.dedent("""
    import os
    import signal
    from pathlib import Path

    RAN = Path(__file__).with_name("ran.txt")


    def note(what):
        with RAN.open("a") as log:
            log.write(what + "\\n")
        return RAN.read_text().split().count(what)


    def descendants(pid):
        # Any thread may have started a child: read every thread's list.
        for task in Path(f"/proc/{pid}/task").iterdir():
            for child in (task / "children").read_text().split():
                yield int(child)
                yield from descendants(int(child))


    def kill_browser(driver):
        # Chromium and its helpers are the driver's descendants: kill them as
        # a crash would, and leave the driver.
        for pid in list(descendants(driver.service.process.pid)):
            os.kill(pid, signal.SIGKILL)


    def test_browser_dies_the_first_time(browser):
        if note("dies") == 1:
            kill_browser(browser)
        assert browser.execute_script("return 1 + 1") == 2


    def test_assertion_fails(browser):
        note("asserts")
        assert browser.execute_script("return 1") == 2
""")


def test_a_dead_browser_is_replaced_and_only_its_test_runs_again(pytester, monkeypatch):
    monkeypatch.setenv("PYTHONPATH", f"{SUPPORT}:{Path(pytester.path)}")
    pytester.makepyfile(test_shared_browser=TESTS)
    result = pytester.runpytest_subprocess("-p", "browser", "-p", "no:cacheprovider", "-n", "0")
    assert result.parseoutcomes() == {"passed": 1, "failed": 1, "rerun": 1}
    assert (pytester.path / "ran.txt").read_text().split() == ["dies", "dies", "asserts"]
