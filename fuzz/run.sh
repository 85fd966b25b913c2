#!/usr/bin/env bash
# Builds the movie reader's fuzz target natively (clang, libFuzzer, ASan,
# UBSan) and runs it. Seeds: the moov of each test movie, moved to the
# front so that the fuzzer's short inputs keep it.
# Usage: fuzz/run.sh [BUILD_DIR [SECONDS]]   (media from BUILD_DIR/media)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-native}
seconds=${2:-60}
out=$build/fuzz
mkdir -p "$out/corpus" "$out/seeds"

clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root" "$root"/fuzz/movie_file_fuzz.cpp "$root"/engine/container/*.cpp \
  -o "$out/movie_file_fuzz"

if [ -d "$build/media" ]; then
  python3 - "$build/media" "$out/seeds" <<'PY'
import os, struct, sys
src, dst = sys.argv[1], sys.argv[2]
for name in os.listdir(src):
    if not name.endswith(('.mp4', '.mov', '.m4a', '.3gp')):
        continue
    data = open(os.path.join(src, name), 'rb').read()
    atoms, pos = {}, 0
    while pos + 8 <= len(data):
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        if size == 1:
            size = struct.unpack('>Q', data[pos + 8:pos + 16])[0]
        elif size == 0:
            size = len(data) - pos
        if size < 8:
            break
        atoms.setdefault(kind, data[pos:pos + size])
        pos += size
    seed = atoms.get(b'ftyp', b'') + atoms.get(b'moov', b'') + struct.pack('>I4s', 8, b'mdat')
    open(os.path.join(dst, name + '.seed'), 'wb').write(seed)
PY
fi

cd "$out"
./movie_file_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
  -print_final_stats=1 corpus seeds
