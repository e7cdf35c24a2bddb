"""The native groove engine (the `kinetrope_grooves` module of the same
distribution), checked for where a command first needs it, so that a build
without it says so in one line."""

from __future__ import annotations

from kinetrope_host.errors import UserError


def require() -> None:
    """`UserError` when this build lacks the groove engine."""
    try:
        import kinetrope_grooves  # noqa: F401
    except ImportError:
        raise UserError("this kinetrope build has no groove engine (module kinetrope_grooves)") from None
