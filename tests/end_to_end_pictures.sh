#!/usr/bin/env bash
# Reads the pictures that end_to_end_test put on the clipboard with
# ImageMagick and compares their pixels with ffmpeg's decode of the same
# frame and of its neighbours, turned and scaled as a viewer sees them: the
# picture must be closest to its own frame, and close to it within codec
# tolerance. Usage: end_to_end_pictures.sh MEDIA_DIR
set -euo pipefail
media=$1
command -v convert >/dev/null || { echo "no ImageMagick: skipped"; exit 0; }
failed=0
checked=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for pict in "$media"/*.pict; do
  [ -e "$pict" ] || continue
  base=${pict%.pict}
  frame=${base##*.}
  movie=${base%.*}
  convert "pict:$pict" -depth 8 "rgb:$work/got"
  # ffmpeg turns a picture as its track matrix says; the pixel aspect it
  # leaves to the player, so its decode is scaled to the size we showed.
  size=$(identify -format '%w:%h' "pict:$pict")
  for n in $(seq $((frame > 2 ? frame - 2 : 0)) $((frame + 2))); do
    ffmpeg -nostdin -loglevel error -y -i "$movie" -vf "select=eq(n\,$n),scale=$size:flags=bilinear" -frames:v 1 \
      -f rawvideo -pix_fmt rgb24 "$work/want.$n"
  done
  checked=$((checked + 1))
  python3 - "$work" "$frame" "$(basename "$pict")" <<'PY' || failed=1
import glob, os, sys
work, frame, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
got = open(os.path.join(work, 'got'), 'rb').read()
diffs = {}
for path in glob.glob(os.path.join(work, 'want.*')):
    want = open(path, 'rb').read()
    if len(want) == len(got) and want:
        diffs[int(path.rsplit('.', 1)[1])] = sum(abs(a - b) for a, b in zip(want, got)) / len(want)
    os.remove(path)
if frame not in diffs:
    print(f"{name}: picture size does not match the frame"); sys.exit(1)
best = min(diffs, key=diffs.get)
print(f"{name}: mean difference {diffs[frame]:.2f} (closest frame {best})")
sys.exit(0 if best == frame and diffs[frame] < 6.0 else 1)
PY
done
if [ "$checked" -eq 0 ]; then echo "no pictures to check"; exit 1; fi
exit $failed
