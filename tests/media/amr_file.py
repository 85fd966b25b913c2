#!/usr/bin/env python3
"""Writes a bare AMR file (RFC 4867's storage format), which Debian's
ffmpeg cannot encode: its magic line, then frames of one mode, each a ToC
byte (the mode, 'quality good') and a payload of pseudo-random bits. AMR's
decoders make some sound of any payload; the frames' count sets the
length exactly (20 ms each).

  amr_file.py nb|wb FRAMES OUT.amr
"""
import sys

# Mode 7 (12.2 kbit/s) of AMR-NB and mode 8 (23.85 kbit/s) of AMR-WB, the
# highest of each, and their payload bytes after the ToC byte.
KINDS = {"nb": (b"#!AMR\n", 7, 31), "wb": (b"#!AMR-WB\n", 8, 60)}


def payload_bytes(count, state):
    """A linear congruential generator's high bytes: the same file on every
    machine and Python."""
    out = bytearray()
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 23)
    return bytes(out), state


def main(argv):
    if len(argv) != 4 or argv[1] not in KINDS:
        sys.exit(__doc__.strip().splitlines()[-1])
    magic, mode, size = KINDS[argv[1]]
    frames = int(argv[2])
    state = 1
    with open(argv[3], "wb") as f:
        f.write(magic)
        for _ in range(frames):
            body, state = payload_bytes(size, state)
            f.write(bytes([mode << 3 | 0x04]) + body)


if __name__ == "__main__":
    main(sys.argv)
