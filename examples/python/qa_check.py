#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A scanner's quality check from Python: lists the scanners, captures N frames from one, checks its
uniformity tables and the frames, and writes the last frame, corrected with the tables, as a PNG.

    python3 qa_check.py [--frames N] [--sensor ID] [--out FILE]

One line per check, "PASS" or "FAIL"; the exit status is 0 only when every check passed.
"""

import argparse
import struct
import sys
import zlib
from typing import List, Tuple

import numpy

import kovavantorquadrelv3 as kova

GAIN_ONE = 1024  # gain entries are in 1/1024
OFFSET_BIAS = 32768  # offset entries are in 1/64 of a grey level, biased
MAX_DEAD_FRACTION = 0.001  # positions whose gain is 0 or saturated


def corrected(frame: numpy.ndarray, gain: numpy.ndarray, offset: numpy.ndarray) -> numpy.ndarray:
    """A raw frame corrected with the tables: p x gain / 1024 + (offset - 32768) / 64."""
    raw = (frame & 0x3FF).astype(numpy.float64)
    return raw * gain / GAIN_ONE + (offset.astype(numpy.float64) - OFFSET_BIAS) / 64.0


def write_png(path: str, grey: numpy.ndarray) -> None:
    """An 8-bit greyscale PNG, with nothing but the standard library."""
    height, width = grey.shape
    rows = b"".join(b"\x00" + grey[y].tobytes() for y in range(height))

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 6))
                   + chunk(b"IEND", b""))


def check_tables(gain: numpy.ndarray, offset: numpy.ndarray) -> List[Tuple[str, bool]]:
    dead = numpy.count_nonzero((gain == 0) | (gain == 65535)) / gain.size
    median = float(numpy.median(gain)) / GAIN_ONE
    return [
        (f"tables are {kova.FRAME_SHAPE[1]} x {kova.FRAME_SHAPE[0]}",
         gain.shape == kova.FRAME_SHAPE and offset.shape == kova.FRAME_SHAPE),
        (f"dead or saturated gains: {dead:.4%} (at most {MAX_DEAD_FRACTION:.1%})", dead <= MAX_DEAD_FRACTION),
        (f"median gain {median:.3f} (0.5 to 2)", 0.5 <= median <= 2.0),
    ]


def check_frames(frames: List[numpy.ndarray], wanted: int) -> List[Tuple[str, bool]]:
    highest = max(int(frame.max()) for frame in frames) if frames else 0
    live = len(frames) < 2 or any(not numpy.array_equal(frames[0], frame) for frame in frames[1:])
    return [
        (f"{len(frames)} of {wanted} frames captured", len(frames) == wanted),
        (f"samples within 10 bits (highest {highest})", highest <= 1023),
        ("frames are not all black", highest > 0),
        ("frames change over time", live),
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=5)
    parser.add_argument("--sensor", help="the sensor id (default: the first scanner listed)")
    parser.add_argument("--out", default="qa_corrected.png")
    options = parser.parse_args()

    with kova.Library(log_level=3) as library:
        sensors = library.scanners()
        print(f"scanners: {', '.join(sensors)}")
        sensor = options.sensor or sensors[0]
        with library.open(sensor) as scanner:
            info = scanner.info()
            print(f"{sensor}: {info.manufacturer} {info.model}, serial number {info.serial_number}")
            gain, offset = scanner.uniformity_tables()
            frames = list(scanner.frames(options.frames))

    checks = check_tables(gain, offset) + check_frames(frames, options.frames)
    if frames:
        picture = corrected(frames[-1], gain, offset)
        write_png(options.out, numpy.clip(picture / 4.0, 0, 255).astype(numpy.uint8))
        print(f"wrote {options.out}")
    for text, passed in checks:
        print(("PASS " if passed else "FAIL ") + text)
    return 0 if all(passed for _, passed in checks) else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except kova.KovaError as error:
        print(f"FAIL {error}", file=sys.stderr)
        sys.exit(1)
