#!/usr/bin/env bash
# Listens to the engine: the plug-in plays a 1 kHz tone in the stand-in host
# under a Wine prefix whose sound goes to the build's own PulseAudio server
# (scripts/sound-server), and parec records the null sink's monitor, which
# holds exactly what a listener would hear. Checks that the tone is heard,
# at its pitch, and that it stops with Vantoro-Stop.
# Usage: sound_heard.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1
build=$2
. "$root/scripts/wine-env" "$build"
export WINEPREFIX="$build/wineprefix-audio"
eval "export $("$root/scripts/sound-server" env "$build")"
pactl info >/dev/null 2>&1 || { echo "sound_heard: the sound server is not running (scripts/test starts it)"; exit 1; }
[ -f "$WINEPREFIX/.vantoro-ready" ] || { echo "sound_heard: no sound prefix (scripts/test makes it)"; exit 1; }

dir="$build/sound"
mkdir -p "$dir"
mapfile -t installed < <("$root/scripts/install-files" "$build")
cp "${installed[@]}" "$build/bin/vantoro-host.exe" "$dir/"
[ -f "$dir/tone.wav" ] || ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=1000:sample_rate=44100 \
  -t 10 -c:a pcm_s16le "$dir/tone.wav"
win() { winepath -w "$1" 2>/dev/null; }
# Ten seconds of tone, stopped after six; the host stays two seconds more.
cat > "$dir/script.txt" <<SCRIPT
Vantoro-Play $(win "$dir/tone.wav")
wait 6000
Vantoro-Stop
wait 2000
SCRIPT

parec -d out.monitor --format=s16le --rate=44100 --channels=2 --file-format=wav "$dir/heard.wav" \
  </dev/null >/dev/null 2>&1 &
recorder=$!
trap 'kill $recorder 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
timeout 300 wine "$dir/vantoro-host.exe" --quiet "$(win "$dir/script.txt")" >"$dir/answers.txt" 2>/dev/null </dev/null
sleep 0.3
kill $recorder
wait $recorder 2>/dev/null || true

python3 - "$dir/heard.wav" "$dir/answers.txt" <<'PY'
import struct, sys, wave
heard, answers = sys.argv[1], open(sys.argv[2]).read().split()
if answers:
    print("sound_heard: the plug-in answered", answers); sys.exit(1)
w = wave.open(heard)
rate, frames = w.getframerate(), w.readframes(w.getnframes())
left = struct.unpack('<%dh' % (len(frames) // 2), frames)[0::2]
block = rate // 100  # 10 ms
loud = [max(abs(s) for s in left[i:i + block]) > 300 for i in range(0, len(left) - block, block)]
if not any(loud):
    print("sound_heard: nothing was heard"); sys.exit(1)
first, last = loud.index(True), len(loud) - 1 - loud[::-1].index(True)
tone = left[first * block:(last + 1) * block]
crossings = sum(1 for a, b in zip(tone, tone[1:]) if a < 0 <= b)
pitch = crossings / (len(tone) / rate)
tail = (len(loud) - 1 - last) / 100
print(f"sound_heard: tone heard for {(last - first + 1) / 100:.2f} s at {pitch:.0f} Hz; then {tail:.2f} s of silence")
ok = abs(pitch - 1000) < 20 and (last - first + 1) / 100 >= 0.3 and tail >= 1.0
sys.exit(0 if ok else 1)
PY
