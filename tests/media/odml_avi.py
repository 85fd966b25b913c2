#!/usr/bin/env python3
"""Turns an AVI that ffmpeg wrote into one indexed by OpenDML's index alone.

ffmpeg's muxer reserves room for OpenDML's index in every stream header
(a JUNK chunk) but fills it in only once the file passes 1 GiB; below that
it writes the old 'idx1' index alone. Here, as it would there, each
stream's reserved chunk becomes an 'indx' super index naming one standard
index chunk ('ix00', 'ix01', ...) of that stream's chunks, put at the end
of the 'movi' list, and 'idx1' becomes JUNK: a reader that finds the
chunks only through 'idx1' finds nothing.

  odml_avi.py IN.avi OUT.avi
"""
import struct
import sys

INDEX_OF_INDEXES, INDEX_OF_CHUNKS = 0, 1
KEY = 0x10  # idx1's AVIIF_KEYFRAME


def chunks(data, start, end):
    """(fourcc, offset of its header, payload size) of each chunk in a span."""
    pos = start
    while pos + 8 <= end:
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        yield tag, pos, size
        pos += 8 + size + (size & 1)


def find_list(data, start, end, kind):
    for tag, pos, size in chunks(data, start, end):
        if tag == b"LIST" and data[pos + 8:pos + 12] == kind:
            return pos, size
    sys.exit(f"odml_avi: no LIST {kind.decode()}")


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    data = bytearray(open(argv[1], "rb").read())
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI ", "not an AVI"
    riff_end = 8 + struct.unpack("<I", data[4:8])[0]
    hdrl, hdrl_size = find_list(data, 12, riff_end, b"hdrl")
    movi, movi_size = find_list(data, 12, riff_end, b"movi")
    base = movi + 8  # idx1's offsets count from the 'movi' fourcc
    idx1 = [(pos, size) for tag, pos, size in chunks(data, 12, riff_end) if tag == b"idx1"]
    assert idx1, "no idx1 to take the chunks from"
    idx1_pos, idx1_size = idx1[0]

    # Each stream's chunks, in file order, from idx1.
    entries = {}
    for i in range(idx1_pos + 8, idx1_pos + 8 + idx1_size, 16):
        ckid, flags, offset, size = struct.unpack("<4sIII", data[i:i + 16])
        entries.setdefault(int(ckid[:2]), []).append((ckid, flags, offset, size))

    # The standard index chunks, appended to the movi list.
    movi_end = movi + 8 + movi_size
    assert movi_end == idx1_pos, "idx1 does not follow the movi list"
    appended = bytearray()
    super_entries = {}
    for stream, items in sorted(entries.items()):
        ckid = items[0][0]
        body = struct.pack("<HBBI4sQI", 2, 0, INDEX_OF_CHUNKS, len(items), ckid, base, 0)
        for _, flags, offset, size in items:
            # From the base to the chunk's payload; the top bit marks a
            # chunk that is not a key frame.
            body += struct.pack("<II", offset + 8, size | (0 if flags & KEY else 0x80000000))
        at = movi_end + len(appended)
        tag = b"ix%02d" % stream
        appended += tag + struct.pack("<I", len(body)) + body
        super_entries[stream] = (ckid, at, 8 + len(body), len(items))

    # The super indexes, in the room ffmpeg reserved after each strf.
    stream = 0
    for tag, pos, size in chunks(data, hdrl + 12, hdrl + 8 + hdrl_size):
        if tag != b"LIST" or data[pos + 8:pos + 12] != b"strl":
            continue
        junk = [(p, s) for t, p, s in chunks(data, pos + 12, pos + 8 + size) if t == b"JUNK"]
        assert junk and stream in super_entries, "no room reserved for a super index"
        p, s = junk[0]
        ckid, at, length, count = super_entries[stream]
        # The entry's duration: its chunks (readers only add them up).
        body = struct.pack("<HBBI4s12x", 4, 0, INDEX_OF_INDEXES, 1, ckid)
        body += struct.pack("<QII", at, length, count)
        assert len(body) <= s
        data[p:p + 8 + s] = b"indx" + struct.pack("<I", s) + body + bytes(s - len(body))
        stream += 1
    assert stream == len(super_entries), "a stream without a header"

    data[idx1_pos:idx1_pos + 4] = b"JUNK"
    data[movi + 4:movi + 8] = struct.pack("<I", movi_size + len(appended))
    data[4:8] = struct.pack("<I", riff_end - 8 + len(appended))
    out = data[:movi_end] + appended + data[movi_end:]
    with open(argv[2], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
