#!/usr/bin/env bash
# Makes the MP3, MP2 and ADTS files the frame walk counts, and walk.txt:
#   NAME KIND SAMPLES RATE (one a line; KIND mpeg or adts)
# SAMPLES is what libavcodec decodes from the file (ffmpeg's own decode),
# or, where ffmpeg's decode trims or drops what is no fault of the file's
# length (an encoder table, junk before a frame), ffprobe's packets times
# the samples a frame holds.
# Usage: make_walk_media.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
tone() { echo -f lavfi -i "sine=frequency=440:sample_rate=$1" -t 3; }

ff $(tone 44100) -c:a libmp3lame -b:a 128k -write_xing 0 cbr.mp3
ff $(tone 44100) -c:a libmp3lame -q:a 2 -write_xing 0 vbr.mp3
ff $(tone 22050) -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 mpeg2_mono.mp3
ff $(tone 48000) -c:a mp2 -b:a 192k -f mp2 layer2.mp2
ff $(tone 44100) -c:a libmp3lame -b:a 128k -write_xing 1 table.mp3
# An ID3v2 tag with a long comment before the sound, an ID3v1 tag after.
ff $(tone 44100) -c:a libmp3lame -b:a 96k -write_xing 0 -id3v2_version 3 -write_id3v1 1 \
  -metadata title="A tone" -metadata comment="$(head -c 6000 /dev/zero | tr '\0' 'c')" tags.mp3
ff $(tone 44100) -c:a aac -f adts sound.aac
ff $(tone 32000) -ac 1 -c:a aac -f adts -write_id3v2 1 -write_apetag 1 -metadata title="A tone" tags.aac

python3 - <<'PY'
import random, subprocess
def positions(name):
    out = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'packet=pos', '-of', 'csv=p=0', name],
                         capture_output=True, text=True, check=True).stdout
    return [int(line) for line in out.split()]
data = open('cbr.mp3', 'rb').read()
middle = positions('cbr.mp3')[60]
rng = random.Random(3)
# Junk without a sync byte between two frames: 3000 bytes, then 70 KiB,
# beyond the walk's reach.
junk = bytes(rng.randrange(255) for _ in range(3000))
open('junk.mp3', 'wb').write(data[:middle] + junk + data[middle:])
open('junk_far.mp3', 'wb').write(data[:middle] + junk * 24 + data[middle:])
# Cut within the last frame.
open('cut.mp3', 'wb').write(data[:len(data) - 200])
data = open('sound.aac', 'rb').read()
open('cut.aac', 'wb').write(data[:len(data) - 100])
PY

decoded() { ffmpeg -nostdin -v quiet -i "$1" -f s16le -ac 1 - | wc -c | awk '{ print $1 / 2 }'; }
packets() { ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
rate() { ffprobe -v error -show_entries stream=sample_rate -of csv=p=0 "$1"; }
: > walk.txt
for f in cbr.mp3 vbr.mp3 mpeg2_mono.mp3 layer2.mp2 tags.mp3 cut.mp3 sound.aac tags.aac cut.aac; do
  kind=mpeg; [[ $f == *.aac ]] && kind=adts
  echo "$f $kind $(decoded "$f") $(rate "$f")" >> walk.txt
done
echo "table.mp3 mpeg $(( $(packets table.mp3) * 1152 )) 44100" >> walk.txt
echo "junk.mp3 mpeg $(( $(packets junk.mp3) * 1152 )) 44100" >> walk.txt
