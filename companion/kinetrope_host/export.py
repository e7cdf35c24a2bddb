"""Kept for callers of `kinetrope_host.export.export`; the exporters live in
`kinetrope_host.exports`."""

from kinetrope_host.exports import FORMATS, export

__all__ = ["FORMATS", "export"]
