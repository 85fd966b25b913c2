#!/usr/bin/env python3
"""Writes a QuickTime movie of Motion JPEG B ('mjpb') pictures, which ffmpeg
cannot encode, from baseline JPEG files that it can.

A Motion JPEG B field is a JPEG without markers: a header of offsets to the
quantisation tables, Huffman tables, frame header, scan header and scan
data, each table kept as its segment's body (length first), and the scan
data without the 0x00 stuffed after each 0xFF.

  mjpegb_movie.py OUT.mov FPS FRAME.jpg...
"""
import struct
import sys


def segments(jpeg):
    """(marker, body) of each segment before the scan, then the scan data."""
    assert jpeg[:2] == b"\xff\xd8", "not a JPEG"
    pos, out = 2, []
    while True:
        assert jpeg[pos] == 0xFF
        marker = jpeg[pos + 1]
        length = struct.unpack(">H", jpeg[pos + 2:pos + 4])[0]
        body = jpeg[pos + 2:pos + 2 + length]
        pos += 2 + length
        out.append((marker, body))
        if marker == 0xDA:  # SOS: the entropy-coded data follows to EOI
            end = jpeg.rindex(b"\xff\xd9")
            return out, jpeg[pos:end]


def merged(bodies):
    """One segment body holding the tables of several."""
    data = b"".join(b[2:] for b in bodies)
    return struct.pack(">H", len(data) + 2) + data


def field(jpeg):
    segs, scan = segments(jpeg)
    assert all(m != 0xDD for m, _ in segs), "restart intervals are not carried"
    dqt = merged([b for m, b in segs if m == 0xDB])
    dht = merged([b for m, b in segs if m == 0xC4])
    sof = next(b for m, b in segs if m == 0xC0)
    sos = next(b for m, b in segs if m == 0xDA)
    data = scan.replace(b"\xff\x00", b"\xff")
    header = 40
    dqt_at = header
    dht_at = dqt_at + len(dqt)
    sof_at = dht_at + len(dht)
    sos_at = sof_at + len(sof)
    sod_at = sos_at + len(sos)
    size = sod_at + len(data)
    head = struct.pack(">I4sIIIIIIII", 0, b"mjpg", size, size, 0, dqt_at, dht_at, sof_at, sos_at, sod_at)
    return head + dqt + dht + sof + sos + data


def box(kind, *parts):
    payload = b"".join(parts)
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full(kind, version_flags, *parts):
    return box(kind, struct.pack(">I", version_flags), *parts)


def movie(samples, width, height, fps):
    scale = fps * 100
    duration = len(samples) * 100
    matrix = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)
    mvhd = full(b"mvhd", 0, struct.pack(">IIII", 0, 0, scale, duration), struct.pack(">IH", 0x10000, 0x100),
                b"\0" * 10, matrix, b"\0" * 24, struct.pack(">I", 2))
    tkhd = full(b"tkhd", 3, struct.pack(">IIIII", 0, 0, 1, 0, duration), b"\0" * 8, struct.pack(">HHHH", 0, 0, 0, 0),
                matrix, struct.pack(">II", width << 16, height << 16))
    mdhd = full(b"mdhd", 0, struct.pack(">IIII", 0, 0, scale, duration), struct.pack(">HH", 0, 0))
    hdlr = full(b"hdlr", 0, b"mhlrvide", b"\0" * 12, b"\0")
    vmhd = full(b"vmhd", 1, b"\0" * 8)
    dref = full(b"dref", 0, struct.pack(">I", 1), full(b"alis", 1))
    entry = struct.pack(">6xH", 1) + struct.pack(">HHI", 0, 0, 0) + struct.pack(">II", 0, 512) + \
        struct.pack(">HHIIIH", width, height, 0x480000, 0x480000, 0, 1) + bytes([0]) + b"\0" * 31 + \
        struct.pack(">Hh", 24, -1)
    stsd = full(b"stsd", 0, struct.pack(">I", 1), box(b"mjpb", entry))
    stts = full(b"stts", 0, struct.pack(">III", 1, len(samples), 100))
    stsc = full(b"stsc", 0, struct.pack(">IIII", 1, 1, 1, 1))
    stsz = full(b"stsz", 0, struct.pack(">II", 0, len(samples)), b"".join(struct.pack(">I", len(s)) for s in samples))
    ftyp = box(b"ftyp", b"qt  ", struct.pack(">I", 0x200), b"qt  ")
    mdat_at = len(ftyp) + 8
    offsets, at = [], mdat_at
    for s in samples:
        offsets.append(at)
        at += len(s)
    stco = full(b"stco", 0, struct.pack(">I", len(samples)), b"".join(struct.pack(">I", o) for o in offsets))
    stbl = box(b"stbl", stsd, stts, stsc, stsz, stco)
    minf = box(b"minf", vmhd, box(b"dinf", dref), stbl)
    trak = box(b"trak", tkhd, box(b"mdia", mdhd, hdlr, minf))
    return ftyp + box(b"mdat", *samples) + box(b"moov", mvhd, trak)


def main():
    out, fps, frames = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    jpegs = [open(f, "rb").read() for f in frames]
    sof = dict(segments(jpegs[0])[0])[0xC0]
    height, width = struct.unpack(">HH", sof[3:7])
    with open(out, "wb") as f:
        f.write(movie([field(j) for j in jpegs], width, height, fps))


if __name__ == "__main__":
    main()
