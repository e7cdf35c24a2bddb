"""Where frames go: OSC, the terminal view, moving heads over Art-Net. Each
is a `FrameSink` the player feeds."""
