"""Host-side companion of kinetrope: musical time (tempo maps, MIDI clock,
beats found in audio), sampling between pips, the catalogue by collection and
family, and the `kinetrope` command that plays patterns to OSC and the terminal.

The extension module answers "where is pattern P at pip p"; this package
answers "which pip is it now" and carries the frames to where they are shown.
"""

from kinetrope_host.clocks import TempoMap
from kinetrope_host.errors import UserError

__all__ = ["TempoMap", "UserError"]
