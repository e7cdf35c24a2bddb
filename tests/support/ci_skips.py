"""A pytest plugin: with CI=true, a test that skips fails instead, unless its
reason is one that no tool installed by CI can cure. A missing compiler,
cmake, Chromium, mypy or python-osc then fails the run instead of turning it
green. Runs elsewhere keep their skips, each with its reason."""

import os

import pytest

# Facts about the machine, not missing tools: the interpreters it happens to
# have and how this interpreter was built.
CI_MAY_SKIP = {
    "no other CPython minor version on this machine",
    "this interpreter has no shared libpython to link against",
    "bpy has no build for this Python version",
}


def skip_reason(report):
    longrepr = report.longrepr
    reason = longrepr[2] if isinstance(longrepr, tuple) else str(longrepr)
    return reason.removeprefix("Skipped: ")


def fail_skip_in_ci(report):
    if os.environ.get("CI") != "true" or not report.skipped or hasattr(report, "wasxfail"):
        return
    reason = skip_reason(report)
    if reason not in CI_MAY_SKIP:
        report.outcome = "failed"
        report.longrepr = f"skipped under CI=true, where the tool is installed: {reason}"


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    fail_skip_in_ci(outcome.get_result())


@pytest.hookimpl(hookwrapper=True)
def pytest_make_collect_report(collector):
    # a module-level importorskip skips while the module is collected
    outcome = yield
    fail_skip_in_ci(outcome.get_result())
