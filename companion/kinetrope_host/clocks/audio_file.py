"""Reading an audio file for beat analysis, with every check made before
the samples are trusted.

The header is checked before anything is decoded: a regular file (a FIFO
would block the reader, a device would never end), a sample rate of 8 to
384 kHz, 1 to 64 channels, at most `MAX_SECONDS` and `MAX_SAMPLES`. Then the file is decoded
in blocks of `BLOCK` frames, each block mixed to mono, checked (no NaN or
infinity, no sample past `MAX_MAGNITUDE`) and resampled to `RATE` by a
streaming resampler, straight into one array sized from the header. So the
memory loading takes is that array (the decoded file: 4 bytes a second of
mono at `RATE`, 88 KB a second) plus one block, whatever the header claims:
a header that lies about its length cannot make the reader take more,
because no more than `MAX_SECONDS` is ever read.
"""

from __future__ import annotations

import os
import stat
from collections.abc import Callable
from typing import Any

from kinetrope_host.errors import UserError

RATE = 22050  # what librosa analyses at by default; enough for onsets
MIN_RATE = 8_000
MAX_RATE = 384_000
MAX_CHANNELS = 64
MAX_SECONDS = 60 * 60  # an hour: a long DJ set is cut into tracks first
MAX_MAGNITUDE = 1_000.0  # 60 dB over full scale: past this the data is not sound
MAX_SAMPLES = MAX_SECONDS * 96_000 * 2  # all channels together: an hour of stereo at 96 kHz
BLOCK = 65_536  # frames decoded at a time

Progress = Callable[[float], None]  # told the share done, 0 to 1


def _refuse(name: str, reason: str) -> UserError:
    return UserError(f"cannot read audio file {name}: {reason}")


def check_path(name: str) -> None:
    """Refuses what is not a regular file, before opening it: opening a FIFO
    blocks until a writer comes, reading a device never ends."""
    try:
        mode = os.stat(name).st_mode
    except FileNotFoundError:
        raise _refuse(name, "no such file") from None
    except OSError as error:
        raise _refuse(name, error.strerror or type(error).__name__) from None
    if stat.S_ISFIFO(mode):
        raise _refuse(name, "it is a FIFO (named pipe), not a file; save the stream to a file or use --audio-in")
    if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        raise _refuse(name, "it is a device, not a file; for live input use --audio-in")
    if stat.S_ISDIR(mode):
        raise _refuse(name, "it is a directory")
    if not stat.S_ISREG(mode):
        raise _refuse(name, "it is not a regular file")


def check_header(name: str, rate: int, channels: int, frames: int) -> None:
    """Raise UserError if the sample rate, channel count, length or total
    samples of audio file `name` are outside what is analysed."""
    if not MIN_RATE <= rate <= MAX_RATE:
        raise _refuse(name, f"its sample rate is {rate} Hz; {MIN_RATE // 1000} to {MAX_RATE // 1000} kHz are accepted")
    if not 1 <= channels <= MAX_CHANNELS:
        raise _refuse(name, f"it has {channels} channels; 1 to {MAX_CHANNELS} are accepted")
    if frames <= 0:
        raise _refuse(name, "it holds no samples")
    if frames > MAX_SECONDS * rate:
        raise _refuse(name, f"it lasts {frames / rate / 60:.0f} minutes; at most {MAX_SECONDS // 60} are analysed")
    if frames * channels > MAX_SAMPLES:
        raise _refuse(name, f"it holds {frames * channels} samples; at most {MAX_SAMPLES} are decoded")


def check_file(name: str) -> None:
    """The path and header checks alone, with no sample decoded: done before
    the file's content is hashed, so a 2 GB file that claims hours is
    refused at once."""
    import soundfile  # type: ignore[import-untyped, unused-ignore]

    check_path(name)
    try:
        info = soundfile.info(name)
    except (soundfile.LibsndfileError, RuntimeError, OSError, ValueError) as error:
        text = str(error).strip()
        raise _refuse(name, text.splitlines()[0] if text else type(error).__name__) from None
    check_header(name, int(info.samplerate), int(info.channels), int(info.frames))


def _check_block(name: str, block: Any) -> None:
    import numpy

    if not numpy.all(numpy.isfinite(block)):
        raise _refuse(name, "it holds samples that are not finite (NaN or infinity)")
    if block.size and float(numpy.max(numpy.abs(block))) > MAX_MAGNITUDE:
        raise _refuse(name, f"it holds samples beyond {MAX_MAGNITUDE:g} times full scale")


def load(path: str | os.PathLike[str], progress: Progress | None = None) -> Any:
    """The file's samples, mono float32 at RATE; `UserError` if it cannot be
    read or fails a check. soundfile (libsndfile: WAV, FLAC, Ogg, MP3 and
    more) decodes it, soxr resamples it block by block."""
    import numpy
    import soundfile  # type: ignore[import-untyped, unused-ignore]
    import soxr  # type: ignore[import-untyped, unused-ignore]

    name = os.fspath(path)
    check_path(name)
    try:
        with soundfile.SoundFile(name) as source:
            rate, channels, frames = int(source.samplerate), int(source.channels), int(source.frames)
            check_header(name, rate, channels, frames)
            out = numpy.empty(int(frames * RATE / rate) + 64, dtype=numpy.float32)
            stream = soxr.ResampleStream(rate, RATE, 1, dtype="float32") if rate != RATE else None
            filled = read = 0
            while read < frames:
                # float64 while mixing: float32 channels at full range can overflow when summed
                block = source.read(min(BLOCK, frames - read), dtype="float64", always_2d=True)
                if len(block) == 0:
                    break
                read += len(block)
                _check_block(name, block)
                mono = block.mean(axis=1).astype(numpy.float32)
                done = stream.resample_chunk(mono, last=read >= frames) if stream is not None else mono
                filled = _append(out, filled, done)
                if progress is not None:
                    progress(read / frames)
    except UserError:
        raise
    except (soundfile.LibsndfileError, RuntimeError, OSError, ValueError) as error:
        text = str(error).strip()
        raise _refuse(name, text.splitlines()[0] if text else type(error).__name__) from None
    if filled == 0:
        raise _refuse(name, "it holds no samples")
    return out[:filled]


def _append(out: Any, filled: int, chunk: Any) -> int:
    take = min(len(chunk), len(out) - filled)
    out[filled:filled + take] = chunk[:take]
    return filled + take
