#!/usr/bin/env bash
# Runs one group of listening cases (tests/sound_listen.py) in the sound rig
# (sound_rig.sh), with what a user installs and the stand-in host in a
# folder of their own.
# Usage: sound_listen.sh SOURCE_DIR BUILD_DIR GROUP
set -euo pipefail
root=$1
build=$2
group=$3
dir="$build/sound"
mkdir -p "$dir"
mapfile -t installed < <("$root/scripts/install-files" "$build")
cp "${installed[@]}" "$build/bin/vantoro-host.exe" "$dir/"
exec "$root/tests/sound_rig.sh" "$root" "$build" \
  python3 "$root/tests/sound_listen.py" "$group" "$dir" "$build/sound-media" "$build/tools/pulse-recorder"
