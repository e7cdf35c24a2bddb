"""The one exception a user's own mistake turns into."""


class UserError(Exception):
    """A mistake a user can cause (an unknown pattern, a missing MIDI port, an
    unreadable file, a bad host or port). The command prints it as one line,
    `kinetrope: <message>`, and exits non-zero; a library caller can catch it
    apart from faults of the program itself."""
