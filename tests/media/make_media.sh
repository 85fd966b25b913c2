#!/usr/bin/env bash
# Makes the movie files the container tests read, and beside each one what
# ffprobe says about it (NAME.probe, ffprobe's flat format) and the
# presentation times of its video packets (NAME.vpts, one per line, seconds).
# Usage: make_media.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
rm -f stamp

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
video=(-f lavfi -i testsrc=size=320x240:rate=25)
sound=(-f lavfi -i sine=frequency=440:sample_rate=44100)

# H.264 with B-frames (an edit list skips their delay) and AAC.
ff "${video[@]}" "${sound[@]}" -t 3 -c:v libx264 -preset veryfast -bf 2 -g 25 \
  -pix_fmt yuv420p -c:a aac h264_aac.mp4
# The same with the moov first.
ff -i h264_aac.mp4 -c copy -movflags +faststart h264_faststart.mp4
# MJPEG and big-endian PCM in a QuickTime movie.
ff "${video[@]}" "${sound[@]}" -t 3 -c:v mjpeg -c:a pcm_s16be mjpeg_pcm.mov
# Video that starts one second after the sound: an empty edit first.
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 \
  -vf setpts=PTS+1/TB -c:v mjpeg -c:a pcm_s16le delayed.mov
# Sound only.
ff "${sound[@]}" -t 2.5 -c:a aac sound.m4a
# 3GPP: H.263 at 29.97 frames per second and AAC.
ff -f lavfi -i testsrc=size=176x144:rate=30000/1001 "${sound[@]}" -t 2 \
  -c:v h263 -c:a aac -ar 22050 -ac 1 mobile.3gp
# Fragmented: samples only in moof boxes.
ff "${video[@]}" -t 2 -c:v libx264 -preset ultrafast -g 10 \
  -movflags frag_keyframe+empty_moov fragmented.mp4

for f in h264_aac.mp4 h264_faststart.mp4 mjpeg_pcm.mov delayed.mov sound.m4a mobile.3gp; do
  ffprobe -v error -count_packets -show_streams -show_format -of flat "$f" > "$f.probe"
  ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$f" \
    | sort -g > "$f.vpts"
done
touch stamp
