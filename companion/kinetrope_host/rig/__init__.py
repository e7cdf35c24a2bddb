"""Lighting rigs, apart from any wire protocol: fixture profiles (Open
Fixture Library files or the short form), heads patched into universes, and
the fan that spreads a pattern across them."""
