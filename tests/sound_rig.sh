#!/usr/bin/env bash
# Runs a command in the sound rig: the Wine prefix whose sound goes to the
# build's own PulseAudio server (scripts/test starts it and makes the
# prefix). Without Wine's GStreamer Media Foundation decodes nothing, as on
# a PC without codec packs: what is heard, our own engine decoded.
# Usage: sound_rig.sh SOURCE_DIR BUILD_DIR COMMAND...
set -euo pipefail
root=$1
build=$2
shift 2
. "$root/scripts/wine-env" "$build"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winegstreamer=d"
export WINEPREFIX="$build/wineprefix-audio"
eval "export $("$root/scripts/sound-server" env "$build")"
pactl info >/dev/null 2>&1 || { echo "sound rig: the sound server is not running (scripts/test starts it)"; exit 1; }
[ -f "$WINEPREFIX/.vantoro-ready" ] || { echo "sound rig: no sound prefix (scripts/test makes it)"; exit 1; }
exec "$@"
