#!/usr/bin/env bash
# Runs one group of listening cases (tests/sound_listen.py) in the sound
# rig: the Wine prefix whose sound goes to the build's own PulseAudio server
# (scripts/test starts it and makes the prefix), with what a user installs
# and the stand-in host in a folder of their own.
# Usage: sound_listen.sh SOURCE_DIR BUILD_DIR GROUP
set -euo pipefail
root=$1
build=$2
group=$3
. "$root/scripts/wine-env" "$build"
# Without Wine's GStreamer Media Foundation decodes nothing, as on a PC
# without codec packs: what is heard, our own engine decoded.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winegstreamer=d"
export WINEPREFIX="$build/wineprefix-audio"
eval "export $("$root/scripts/sound-server" env "$build")"
pactl info >/dev/null 2>&1 || { echo "sound_listen: the sound server is not running (scripts/test starts it)"; exit 1; }
[ -f "$WINEPREFIX/.vantoro-ready" ] || { echo "sound_listen: no sound prefix (scripts/test makes it)"; exit 1; }

dir="$build/sound"
mkdir -p "$dir"
mapfile -t installed < <("$root/scripts/install-files" "$build")
cp "${installed[@]}" "$build/bin/vantoro-host.exe" "$dir/"
exec python3 "$root/tests/sound_listen.py" "$group" "$dir" "$build/sound-media" "$build/tools/pulse-recorder"
