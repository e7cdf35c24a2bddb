"""The generator's score reader against the tests' own reading of the same
files, and its refusal of malformed scores."""

import subprocess

import pytest
from beat_rows import CLUB_GROOVES, DANCEFLOOR_GROOVES
from beat_scores import GROOVE_DIR, read_score
from conftest import NATIVE_DIR

# The generator's voice numbering.
VOICES = ["kick", "snare", "clap", "rim", "hat", "open", "shaker", "tom", "perc", "bell", "bass", "ride", "crash"]
STEMS = [g[0] for g in CLUB_GROOVES + DANCEFLOOR_GROOVES]


@pytest.fixture(scope="module")
def reader(generator_build):
    exe = generator_build(NATIVE_DIR / "beat_score_reader.cpp")

    def read(paths):
        query = "".join(f"score {p}\n" for p in paths)
        out = subprocess.run([exe], input=query, capture_output=True, text=True, check=True).stdout
        return [block.strip().splitlines() for block in out.split("end\n")[:-1]]

    return read


def test_generator_reads_every_score_as_written(reader):
    for stem, lines in zip(STEMS, reader(GROOVE_DIR / f"{stem}.groove" for stem in STEMS)):
        score = read_score(stem)
        assert lines[0] == f"period {score.period}"
        got = [
            (VOICES[int(v)], float.fromhex(p), float.fromhex(vel), float.fromhex(length), swell == "1")
            for v, p, vel, length, swell in map(str.split, lines[1:])
        ]
        assert got == [(e.voice, float(e.pip), float(e.velocity), float(e.length), e.swell) for e in score.events], stem


@pytest.mark.parametrize(
    "text, complaint",
    [
        ("bars 1\nkick 9...9...9...9..\n", "bad.groove:2: grid must have 16 steps a bar"),
        ("bars 1\ncowbell 9...9...9...9...\n", "bad.groove:2: unknown voice cowbell"),
        ("bars 1\nkick 9...x...9...9...\n", "bad.groove:2: grid cells are '.' or 1 to 9"),
        ("kick 9...9...9...9...\n", "bad.groove:1: bars must come before the voices"),
        ("bars 1\nhat @ 256:5\n", "bad.groove:2: event outside the score"),
        ("bars 1\nhat @ 256/3\n", "bad.groove:2: events are written pip:velocity, sustained ones pip:velocity~length"),
        ("bars 1\nbass @ 0:9~\n", "bad.groove:2: events are written pip:velocity, sustained ones pip:velocity~length"),
        ("bars 1\nbass @ 0:9~256\n", "bad.groove:2: a sustained note must last less than the score"),
        ("bars 1\n# nothing\n", "bad.groove:2: score is empty"),
    ],
)
def test_malformed_scores_are_refused_with_file_and_line(reader, tmp_path, text, complaint):
    path = tmp_path / "bad.groove"
    path.write_text(text)
    assert reader([path]) == [[f"refused {complaint}"]]
