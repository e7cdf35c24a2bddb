"""Costs of the grooves engine, each next to a reference measured in the same
run: the sixteen motions of a part rendered from its score against sampling
the same sixteen tables from the catalogue for every pip, for a 4-bar part
(amen_four_bar) and a 1-bar live update (its first bar), natively and
through kinetrope_grooves. A live update is within one frame at 60 fps when
it takes under 16.7 ms.
"""

import subprocess
import tempfile
import timeit
from pathlib import Path

import kinetrope
import kinetrope_grooves as kg
from native_build import ROOT, compile_native

SCORES = ROOT / "src" / "catalogue" / "generator" / "beats" / "scores"
FRAME_MS = 1000 / 60


def first_bar(part: kg.DrumPart) -> kg.DrumPart:
    return kg.DrumPart(1, part.beats_per_bar, part.beat_unit, [e for e in part.events if e[1] < part.bar_pips])


def best_ms(statement, number: int = 5) -> float:
    return min(timeit.repeat(statement, repeat=7, number=number)) / number * 1e3


def main() -> None:
    four_bars = kg.parse_score((SCORES / "amen_four_bar.groove").read_text())
    names = [f"beat_amen_four_bar_{suffix}" for suffix in kg.MOTIONS]
    with tempfile.TemporaryDirectory() as work:
        exe = compile_native(ROOT / "benchmarks" / "native_grooves_bench.cpp", Path(work) / "grooves_bench")
        one_bar_score = Path(work) / "one_bar.groove"
        one_bar_score.write_text(first_bar(four_bars).score_text())
        print("native  all sixteen motions: render against catalogue sampling of the same tables, every pip")
        for label, score in [("4 bars (1024 pips)", SCORES / "amen_four_bar.groove"), ("1 bar live update", one_bar_score)]:
            render, lookup = map(float, subprocess.run([exe, score, *names], check=True, capture_output=True,
                                                       text=True).stdout.split())
            print(f"        {label:20s} render {render / 1e3:7.3f} ms   catalogue {lookup / 1e3:7.3f} ms"
                  f"  ({render / lookup:.1f}x)   goal < 5 ms: {'met' if render < 5e3 else 'missed'}")
    print("Python  kinetrope_grooves.render against kinetrope.sample over every pip of the same tables")
    for label, part in [("4 bars (1024 pips)", four_bars), ("1 bar live update", first_bar(four_bars))]:
        render = best_ms(lambda part=part: kg.render(part))
        lookup = best_ms(lambda n=part.period_pips: [kinetrope.sample(name, p) for name in names for p in range(n)], 1)
        print(f"        {label:20s} render {render:7.3f} ms   catalogue {lookup:7.3f} ms  ({render / lookup:.1f}x)"
              f"   within a 60 fps frame: {'yes' if render < FRAME_MS else 'no'}")


if __name__ == "__main__":
    main()
