#!/usr/bin/env python3
"""Puts a VBRI header (Fraunhofer's seek table, which only its own encoder
writes) in front of an MP3 that ffmpeg wrote without a Xing or Info frame
(-write_xing 0).

The header is a frame of its own, as Fraunhofer's encoder makes it: an MPEG
audio frame header, 32 bytes of side information left zero (no sound in
it), then 'VBRI', version 1, delay, quality, the stream's bytes, its frames
after this one, and a table of contents of the byte length of each stretch
of frames.

  vbri_mp3.py IN.mp3 OUT.mp3
"""
import struct
import sys

# Bit rates (kbit/s) of Layer III by index: MPEG-1, then MPEG-2 and 2.5.
BITRATES = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
            2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}
TOC_ENTRIES = 20


def frame_size(header):
    """(bytes, samples) of the Layer III frame this 4-byte header opens; None
    if it opens none."""
    if header[0] != 0xFF or header[1] & 0xE0 != 0xE0:
        return None
    version = header[1] >> 3 & 3  # 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    layer = header[1] >> 1 & 3
    index, rate_index, padding = header[2] >> 4, header[2] >> 2 & 3, header[2] >> 1 & 1
    if version == 1 or layer != 1 or index in (0, 15) or rate_index == 3:
        return None
    mpeg1 = version == 3
    kbps = BITRATES[1 if mpeg1 else 2][index]
    rate = RATES[version][rate_index]
    per_frame = 1152 if mpeg1 else 576
    return per_frame // 8 * kbps * 1000 // rate + padding, per_frame


def frames_of(data):
    """The offsets and sizes of the stream's frames, after any ID3v2 tag."""
    pos = 0
    if data[:3] == b"ID3":
        size = data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]
        pos = 10 + size
    out = []
    while pos + 4 <= len(data):
        found = frame_size(data[pos:pos + 4])
        if not found or pos + found[0] > len(data):
            break
        out.append((pos, found[0]))
        pos += found[0]
    return out


def vbri_frame(first_header, frames):
    """The header frame: the first frame's header at 128 kbit/s (MPEG-1) or
    64 (MPEG-2), unpadded, with room for the table."""
    header = bytearray(first_header)
    mpeg1 = header[1] >> 3 & 3 == 3
    header[2] = (BITRATES[1 if mpeg1 else 2].index(128 if mpeg1 else 64)) << 4 | (header[2] & 0x0C)
    size, _ = frame_size(header)
    stream_bytes = size + sum(n for _, n in frames)
    per_entry = max(1, -(-len(frames) // TOC_ENTRIES))
    toc = [sum(n for _, n in frames[i:i + per_entry]) for i in range(0, len(frames), per_entry)]
    scale = max(1, -(-max(toc) // 0xFFFF))
    body = struct.pack(">4sHHHIIHHHH", b"VBRI", 1, 0, 75, stream_bytes, len(frames), len(toc), scale, 2, per_entry)
    body += b"".join(struct.pack(">H", -(-n // scale)) for n in toc)
    frame = bytes(header) + bytes(32) + body
    assert len(frame) <= size, "the table does not fit the frame"
    return frame + bytes(size - len(frame))


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    data = open(argv[1], "rb").read()
    frames = frames_of(data)
    if not frames:
        sys.exit(f"vbri_mp3: no MPEG audio Layer III frames in {argv[1]}")
    first = frames[0][0]
    assert data[first + 36:first + 40] not in (b"Xing", b"Info", b"VBRI") and \
        data[first + 21:first + 25] not in (b"Xing", b"Info"), "the MP3 has a header frame already"
    with open(argv[2], "wb") as f:
        f.write(data[:first] + vbri_frame(data[first:first + 4], frames) + data[first:])


if __name__ == "__main__":
    main(sys.argv)
