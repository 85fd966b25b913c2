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
# Fragmented: samples only in moof boxes, B-frames and sound.
frag=(-c:v libx264 -preset ultrafast -bf 2 -g 10 -pix_fmt yuv420p -c:a aac)
ff "${video[@]}" "${sound[@]}" -t 2 "${frag[@]}" -movflags frag_keyframe+empty_moov fragmented.mp4
# Data offsets from each moof rather than from explicit bases.
ff "${video[@]}" "${sound[@]}" -t 2 "${frag[@]}" -movflags frag_keyframe+empty_moov+default_base_moof \
  fragmented_moof_base.mp4
# Fragments by time, several per key frame, and runs without sample sizes.
ff "${video[@]}" -t 2 -c:v libx264 -preset ultrafast -g 50 -movflags empty_moov -frag_duration 200000 \
  fragmented_by_time.mp4
# Partly fragmented: the moov lists the first key frame's samples, moofs
# the rest.
ff "${video[@]}" "${sound[@]}" -t 1.16 "${frag[@]}" -movflags frag_keyframe fragmented_partly.mp4
# Fragments with a timed text track beside the video.
printf '1\n00:00:00,000 --> 00:00:00,800\nHello\n\n2\n00:00:01,000 --> 00:00:01,600\nWorld\n' > subtitles.srt
ff "${video[@]}" -i subtitles.srt -t 2 -c:v libx264 -preset ultrafast -g 10 -c:s mov_text \
  -movflags frag_keyframe+empty_moov fragmented_text.mp4

# Turned clockwise for display by the track matrix (phone clips). ffmpeg
# 5.1 writes the rotate tag only when copying, and as a counterclockwise
# turn (ffprobe's rotation reads it back so).
ff -f lavfi -i testsrc=size=320x180:rate=25 -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p unturned.mp4
for turn in 90 180 270; do
  ff -i unturned.mp4 -c copy -metadata:s:v rotate=$(( (360 - turn) % 360 )) turned_$turn.mp4
done
# Mirrored, which ffmpeg 5.1 cannot write: matrices set by hand, left to
# right (a = -1, x = width) and top to bottom (d = -1, y = height).
python3 - <<'PY'
import struct
data = bytearray(open('unturned.mp4', 'rb').read())
matrix = data.find(b'tkhd') + 4 + 4 + 20 + 8 + 8
for name, a, d, x, y in (('mirrored.mp4', -1, 1, 320, 0), ('flipped.mp4', 1, -1, 0, 180)):
    copy = bytearray(data)
    struct.pack_into('>9i', copy, matrix, a << 16, 0, 0, 0, d << 16, 0, x << 16, y << 16, 1 << 30)
    open(name, 'wb').write(copy)
PY
# Pixel aspect: 4:3 pixels, tkhd at the display size; QuickTime with the
# coded size in tkhd and the aspect in pasp; a width that is no multiple of
# 16.
ff "${video[@]}" -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -vf setsar=4/3 aspect.mp4
ff -f lavfi -i testsrc=size=720x480:rate=25 -t 0.4 -c:v mjpeg -vf setsar=32/27 aspect.mov
ff -f lavfi -i testsrc=size=854x480:rate=25 -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p wide854.mp4
# Two video streams; the second is smaller, slower and disabled.
ff "${video[@]}" -f lavfi -i testsrc2=size=160x120:rate=15 -t 1 -map 0:v -map 1:v \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p two_videos.mp4
# No media data: the moov of a faststart file alone, and the same file cut
# halfway through its samples.
python3 - <<'PY'
import struct
data = open('h264_faststart.mp4', 'rb').read()
pos = 0
while pos + 8 <= len(data):
    size, kind = struct.unpack('>I4s', data[pos:pos + 8])
    pos += size
    if kind == b'moov':
        break
open('moov_only.mp4', 'wb').write(data[:pos])
open('cut_short.mp4', 'wb').write(data[:pos + (len(data) - pos) // 2])
PY

for f in h264_aac.mp4 h264_faststart.mp4 mjpeg_pcm.mov delayed.mov sound.m4a mobile.3gp \
         fragmented.mp4 fragmented_moof_base.mp4 fragmented_by_time.mp4 fragmented_partly.mp4 \
         fragmented_text.mp4 turned_90.mp4 turned_180.mp4 turned_270.mp4 mirrored.mp4 flipped.mp4 \
         aspect.mp4 aspect.mov wide854.mp4 two_videos.mp4; do
  ffprobe -v error -count_packets -show_streams -show_format -of flat "$f" > "$f.probe"
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$f" \
    | sort -g > "$f.vpts"
  # The first video stream's packets in file order: size, offset, key flag.
  ffprobe -v error -select_streams v:0 -show_entries packet=size,pos,flags -of csv=p=0 "$f" > "$f.vpackets"
done
touch stamp
