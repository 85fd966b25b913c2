#!/usr/bin/env bash
# The A/V benchmark: sync_bench.exe plays a movie of flashes and beeps
# through the plug-in under a Wine prefix whose sound goes to the build's
# own PulseAudio server, noting when each flash is drawn; the recorder notes
# when each beep is heard on the null sink's monitor; av_sync.py sets them
# side by side. Prints figures, asserts nothing.
# Usage: bench/av_sync.sh SOURCE_DIR BUILD_DIR LONG_SECONDS
set -euo pipefail
root=$1
build=$(cd "$2" && pwd)
seconds=$3
av="$build/bench/av"
mkdir -p "$av"
# The sound server and prefix scripts/test uses; a server started here is
# stopped here.
. "$root/bench/listening-rig"

# Flashes and beeps at every second, long enough for the last phase.
length=$((seconds + 60))
movie="$av/sync-$length.mov"
if [ ! -f "$movie" ]; then
  python3 "$root/bench/av_sync.py" --make-movie "$av/part.mov" "$length"
  mv "$av/part.mov" "$movie"
fi

sampler=""
cleanup() {
  [ -z "$sampler" ] || kill "$sampler" 2>/dev/null || true
  listening_cleanup
}
trap cleanup EXIT
vt_record_start "$build" 1 "$av/heard" || { echo "bench: no recording: $vt_record_error" >&2; exit 1; }
# How far the sink renders ahead of its clock while the movie plays.
while sleep 0.5; do pactl list sinks 2>/dev/null | grep -E '^[[:space:]]*Latency:' || true; done >"$av/sink-latency.txt" &
sampler=$!

echo "A/V sync: the movie from its start, SetTime, a loop, SetRate, then $seconds s at rate 1;" \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
if ! wine "$build/bench/sync_bench.exe" "$(winepath -w "$movie" 2>/dev/null)" "$seconds" \
    >"$av/flashes.txt" 2>"$av/sync_bench.err" </dev/null; then
  echo "bench: sync_bench failed: $(tail -n 1 "$av/sync_bench.err")" >&2
  exit 1
fi
vt_record_stop || { echo "bench: $vt_record_error" >&2; exit 1; }
python3 "$root/bench/av_sync.py" "$av/flashes.txt" "$av/heard.raw" "$av/heard.times" "$av/sink-latency.txt"
