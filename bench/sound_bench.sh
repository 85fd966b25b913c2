#!/usr/bin/env bash
# The sound benchmark: sound_bench.exe plays each listening scenario through
# the plug-in, under a Wine prefix whose sound goes to the build's own
# PulseAudio server, and says how often the engine let the device run dry;
# the recorder hears the null sink's monitor, and sound_bench.py counts the
# dropouts a listener heard. Prints figures, asserts nothing.
# Usage: bench/sound_bench.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1
build=$(cd "$2" && pwd)
dir="$build/bench/sound"
mkdir -p "$dir"
. "$root/bench/listening-rig"
python3 "$root/bench/sound_bench.py" --make-media "$dir"

vt_record_start "$build" 1 "$dir/heard" || { echo "bench: no recording: $vt_record_error" >&2; exit 1; }
echo "sound: each scenario played once through the plug-in; load average $(cut -d' ' -f1-3 /proc/loadavg)"
if ! wine "$build/bench/sound_bench.exe" "$(winepath -w "$dir" 2>/dev/null)\\" \
    >"$dir/played.txt" 2>"$dir/sound_bench.err" </dev/null; then
  echo "bench: sound_bench failed: $(tail -n 1 "$dir/sound_bench.err")" >&2
  exit 1
fi
vt_record_stop || { echo "bench: $vt_record_error" >&2; exit 1; }
kind=$("$root/scripts/i386-emulation" status || true)
python3 "$root/bench/sound_bench.py" "$dir/played.txt" "$dir/heard.raw" "$kind"
