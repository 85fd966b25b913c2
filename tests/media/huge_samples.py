#!/usr/bin/env python3
"""Copies of a video-only movie (moov last, one video track) whose tables
claim a sample of 0xFFFFFFF0 bytes.

  huge_samples.py SOURCE SAMPLE SMALL_COPY WIDE_COPY

SMALL_COPY: sample SAMPLE claims 0xFFFFFFF0 bytes in a file far smaller than
that; every sample its own chunk, each at its old place.
WIDE_COPY: as SMALL_COPY, but with 64-bit chunk offsets, the samples after
SAMPLE moved past 4 GiB and SAMPLE itself placed past them, where a file of
about 8 GiB has room for all of its claimed bytes. The file is sparse: only
the moved samples are written.
"""
import struct
import sys

HUGE = 0xFFFFFFF0

source, huge, small_copy, wide_copy = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
data = bytearray(open(source, 'rb').read())


def boxes(start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack_from('>I4s', data, pos)
        yield pos, size, kind
        pos += size


def child(parent, kind):
    start, size = parent
    for pos, s, k in boxes(start + 8, start + size):
        if k == kind:
            return pos, s
    raise SystemExit('no %s' % kind.decode())


moov = next((p, s) for p, s, k in boxes(0, len(data)) if k == b'moov')
if moov[0] + moov[1] != len(data):
    raise SystemExit('the moov must come last')
trak = child(moov, b'trak')
mdia = child(trak, b'mdia')
minf = child(mdia, b'minf')
stbl = child(minf, b'stbl')

# Every sample's size and offset from the tables as they are.
stsz = child(stbl, b'stsz')
uniform, count = struct.unpack_from('>II', data, stsz[0] + 12)
sizes = [uniform] * count if uniform else list(struct.unpack_from('>%dI' % count, data, stsz[0] + 20))
stsc = child(stbl, b'stsc')
runs = [struct.unpack_from('>III', data, stsc[0] + 16 + 12 * i)
        for i in range(struct.unpack_from('>I', data, stsc[0] + 12)[0])]
stco = child(stbl, b'stco')
chunks = list(struct.unpack_from('>%dI' % struct.unpack_from('>I', data, stco[0] + 12)[0], data, stco[0] + 16))
offsets = []
for i, (first, per, _) in enumerate(runs):
    last = runs[i + 1][0] - 1 if i + 1 < len(runs) else len(chunks)
    for chunk in range(first - 1, last):
        at = chunks[chunk]
        for _ in range(per):
            if len(offsets) < count:
                offsets.append(at)
                at += sizes[len(offsets) - 1]


def table(kind, body):
    return struct.pack('>I4sI', 12 + len(body), kind, 0) + body


def with_tables(claimed, places):
    """The file's bytes up to the moov's end, with sample `huge` claiming
    `claimed` bytes and every sample its own chunk at `places`."""
    new_sizes = list(sizes)
    new_sizes[huge] = claimed
    parts = {
        b'stsz': table(b'stsz', struct.pack('>II', 0, count) + struct.pack('>%dI' % count, *new_sizes)),
        b'stsc': table(b'stsc', struct.pack('>IIII', 1, 1, 1, 1)),
        b'stco': table(b'co64', struct.pack('>I', count) + struct.pack('>%dQ' % count, *places)),
    }
    body = b''
    for pos, size, kind in boxes(stbl[0] + 8, stbl[0] + stbl[1]):
        body += parts.get(kind, bytes(data[pos:pos + size]))
    grown = len(body) + 8 - stbl[1]
    out = bytearray(data[:stbl[0]]) + struct.pack('>I4s', 8 + len(body), b'stbl') + body
    out += data[stbl[0] + stbl[1]:]
    for parent in (moov, trak, mdia, minf):
        struct.pack_into('>I', out, parent[0], parent[1] + grown)
    return out


open(small_copy, 'wb').write(with_tables(HUGE, offsets))

# The moved samples start 4 GiB past the file's start, inside a free box
# with a 64-bit size that runs to the file's end.
moved = 1 << 32
places = list(offsets)
at = moved
for s in range(huge + 1, count):
    places[s] = at
    at += sizes[s]
places[huge] = at
end = at + HUGE
head = with_tables(HUGE, places)
free = len(head)
head += struct.pack('>I4sQ', 1, b'free', end - free)
with open(wide_copy, 'wb') as out:
    out.write(head)
    out.seek(moved)
    for s in range(huge + 1, count):
        out.write(data[offsets[s]:offsets[s] + sizes[s]])
    out.truncate(end)
