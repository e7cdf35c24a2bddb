"""The fifteen formula patterns as the module promises them: name, period in
pips and number of active axes, in registration order."""

FORMULA_PATTERNS = [
    ("bounce", 64, 1),
    ("sway", 128, 1),
    ("circle", 64, 2),
    ("figure_eight", 128, 2),
    ("step_touch", 128, 2),
    ("box_step", 256, 2),
    ("helix", 256, 3),
    ("loam_background", 256, 2),
    ("single_stroke_roll", 64, 2),
    ("double_stroke_roll", 64, 2),
    ("multiple_bounce_roll", 64, 2),
    ("single_paradiddle", 128, 2),
    ("flam", 64, 2),
    ("drag", 64, 2),
    ("five_stroke_roll", 128, 2),
]
FORMULA_NAMES = [name for name, _, _ in FORMULA_PATTERNS]
INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1
