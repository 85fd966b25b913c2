#!/usr/bin/env bash
# Makes the movie files the container tests read, and beside each one what
# ffprobe says about it (NAME.probe, ffprobe's flat format) and its packets
# (see the end).
# Usage: make_media.sh OUTDIR
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"
rm -f stamp

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
video=(-f lavfi -i testsrc=size=320x240:rate=25)
sound=(-f lavfi -i sine=frequency=440:sample_rate=44100)

# Rewrites boxes by hand in a copy of a movie whose moov is last (so no
# chunk offset moves), in the first track of the handler's kind:
#   rewrite edits SOURCE COPY HANDLER SECONDS:START...: its edit list, START
#     in seconds of media past the delay of ffmpeg's own edit (B-frames), -1
#     for nothing;
#   rewrite first-key SOURCE COPY HANDLER: only its first sample a key frame.
rewrite() {
  python3 - "$@" <<'PY'
import struct, sys
what, source, copy, handler = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4].encode()
data = bytearray(open(source, 'rb').read())

def find(start, end, kind):
    found, pos = [], start
    while pos + 8 <= end:
        size, k = struct.unpack_from('>I4s', data, pos)
        if k == kind:
            found.append((pos, size))
        pos += size
    return found

def child(box, kind):
    return find(box[0] + 8, sum(box), kind)[0]

def replace(box, new, parents):
    data[box[0]:sum(box)] = new
    for parent in parents:
        struct.pack_into('>I', data, parent[0], parent[1] + len(new) - box[1])

moov = find(0, len(data), b'moov')[0]
for trak in find(moov[0] + 8, sum(moov), b'trak'):
    mdia = child(trak, b'mdia')
    if data[child(mdia, b'hdlr')[0] + 16:][:4] == handler:
        break
if what == 'edits':
    edits = [tuple(float(v) for v in e.split(':')) for e in sys.argv[5:]]
    mvhd, tkhd, old = child(moov, b'mvhd'), child(trak, b'tkhd'), child(trak, b'edts')
    movie_scale = struct.unpack_from('>I', data, mvhd[0] + 20)[0]
    media_scale = struct.unpack_from('>I', data, child(mdia, b'mdhd')[0] + 20)[0]
    delay = struct.unpack_from('>i', data, old[0] + 8 + 20)[0]
    body = struct.pack('>II', 0, len(edits))
    for seconds, start in edits:
        media = -1 if start < 0 else delay + round(start * media_scale)
        body += struct.pack('>IiI', round(seconds * movie_scale), media, 0x10000)
    total = round(sum(e[0] for e in edits) * movie_scale)
    # Both come before the edits, so the edits' new size moves neither.
    struct.pack_into('>I', data, tkhd[0] + 28, total)
    struct.pack_into('>I', data, mvhd[0] + 24, total)
    elst = struct.pack('>I4s', 8 + len(body), b'elst') + body
    replace(old, struct.pack('>I4s', 8 + len(elst), b'edts') + elst, (moov, trak))
elif what == 'first-key':
    minf = child(mdia, b'minf')
    stbl = child(minf, b'stbl')
    replace((sum(stbl), 0), struct.pack('>I4sIII', 20, b'stss', 0, 1, 1), (moov, trak, mdia, minf, stbl))
open(copy, 'wb').write(data)
PY
}

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
# Tagged BT.709, as HD camera and phone clips are: its colours convert by
# that matrix, not BT.601's.
ff -f lavfi -i testsrc=size=320x240:rate=25 -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  -colorspace bt709 -color_primaries bt709 -color_trc bt709 bt709.mp4
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

# One short movie per codec the engine decodes itself, as ffmpeg 5.1 writes
# them: QuickTime entries with and without configuration boxes, ISO ones
# with avcC/hvcC/av1C/esds, indexed and grey pictures, and (in two files of
# many tracks) the sound formats of QuickTime versions 0, 1 (with 'wave',
# 'frma', 'enda', 'esds', 'alac') and 2 and of ISO entries.
small=(-f lavfi -i testsrc=size=160x120:rate=25)
ff "${small[@]}" -t 0.4 -c:v qtrle qtrle.mov
ff "${small[@]}" -t 0.4 -c:v qtrle -pix_fmt gray qtrle_grey.mov
ff "${small[@]}" -t 0.4 -c:v prores_ks -profile:v standard -pix_fmt yuv422p10le prores.mov
ff "${small[@]}" -t 0.4 -c:v cinepak cinepak.mov
ff "${small[@]}" -t 0.4 -c:v svq1 svq1.mov
ff "${small[@]}" -t 2 -c:v mpeg4 -bf 2 -g 12 mpeg4.mp4
ff -f lavfi -i testsrc=size=352x288:rate=25 -t 0.4 -c:v h263 h263.mov
ff "${small[@]}" -t 0.4 -c:v png png.mov
ff "${small[@]}" -t 0.4 -c:v rawvideo -pix_fmt uyvy422 uyvy.mov
ff "${small[@]}" -t 0.4 -c:v rawvideo -pix_fmt pal8 pal8.mov
ff -f lavfi -i testsrc=size=720x576:rate=25 -t 0.12 -c:v dvvideo -pix_fmt yuv420p dv.mov
ff "${small[@]}" -t 0.4 -c:v libx265 -x265-params log-level=error hevc.mp4
ff "${small[@]}" -t 0.4 -c:v smc smc.mov
# ffmpeg 5.1's rpza encoder crashes at 160x120, and marks every frame a key
# frame though it codes only what changed: the copy says otherwise.
ff -f lavfi -i testsrc=size=176x144:rate=25 -t 0.4 -c:v rpza -pix_fmt rgb555le rpza_all_keys.mov
rewrite first-key rpza_all_keys.mov rpza.mov vide
# Motion JPEG B: ffmpeg decodes it but has no encoder, so its JPEGs are
# rewritten as mjpb fields into a movie of our own.
mkdir -p mjpegb_frames
ff "${small[@]}" -t 0.4 -c:v mjpeg -q:v 3 -pix_fmt yuvj420p mjpegb_frames/f%02d.jpg
python3 "$here/mjpegb_movie.py" mjpegb.mov 25 mjpegb_frames/f*.jpg
ff "${small[@]}" -t 0.4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p10le h264_10bit.mp4
ff "${small[@]}" -t 0.4 -c:v libx264 -preset ultrafast -pix_fmt yuv444p h264_444.mp4
ff "${small[@]}" -t 0.4 -c:v libx265 -pix_fmt yuv420p10le -tag:v hvc1 -x265-params log-level=error hevc_10bit.mp4
ff "${small[@]}" -t 0.2 -c:v libaom-av1 -cpu-used 8 av1.mp4
ff "${small[@]}" -t 0.2 -c:v libaom-av1 -cpu-used 8 -pix_fmt yuv420p10le av1_10bit.mp4
for f in av1.mp4 av1_10bit.mp4 mjpegb.mov; do ff -i $f -sws_flags bilinear -f rawvideo -pix_fmt bgra $f.bgra; done
ff "${sound[@]}" -t 0.5 $(for i in $(seq 12); do echo -map 0; done) \
  -c:a:0 pcm_s16be -c:a:1 pcm_s16le -c:a:2 pcm_s24be -c:a:3 pcm_s24le -c:a:4 pcm_f32be -c:a:5 pcm_mulaw \
  -c:a:6 pcm_alaw -c:a:7 adpcm_ima_qt -c:a:8 libmp3lame -c:a:9 aac -c:a:10 alac \
  -c:a:11 pcm_s24le -ar:a:11 96000 sounds.mov
ff "${sound[@]}" -t 0.5 -map 0 -map 0 -map 0 -map 0 -c:a:0 aac -c:a:1 libmp3lame -c:a:2 ac3 -c:a:3 alac sounds.mp4
# Pixels and bytes as ffmpeg reads them: the palette picture's first frame
# in RGB, the 2vuy movie's first frame as stored.
ff -i pal8.mov -frames:v 1 -f rawvideo -pix_fmt rgb24 pal8.mov.rgb
ff -i uyvy.mov -frames:v 1 -c:v copy -f rawvideo uyvy.mov.frame
# Several edits: nothing for 0.4 s, then media 1.0 s to 1.8 s, then 0.2 s
# to 0.8 s.
ff "${small[@]}" -t 2 -c:v mpeg4 -bf 2 -g 12 edit_base.mov
rewrite edits edit_base.mov edited.mov vide 0.4:-1 0.8:1.0 0.6:0.2
# Nothing in the middle: media 0 s to 0.6 s, 1 s of nothing, then 1.0 s to
# 1.6 s.
rewrite edits edit_base.mov edited_gap.mov vide 0.6:0 1.0:-1 0.6:1.0
# The frames ffmpeg shows of it, by the file offset of their samples.
ffprobe -v error -show_entries frame=pkt_pos -of csv=p=0 edited.mov > edited.mov.frames

# Picture sizes whose rows are no multiple of 16 pixels, odd ones among
# them, in H.264 (x264 takes no odd size in 4:2:0) and MPEG-4 Visual.
for s in 2x2 142x100 318x240; do
  ff -f lavfi -i testsrc=size=$s:rate=25 -t 0.4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p size_$s.mp4
done
for s in 1x1 190x240 201x151; do
  ff -f lavfi -i testsrc=size=$s:rate=25 -t 0.4 -c:v mpeg4 size_$s.mp4
done
# An hour of still slides at 30 frames a second: 108,000 samples in one
# chunk. From 54:50 to 55:10 each frame shows its number (mod 256) as the
# grey levels of its halves, so a capture tells which frame it is.
counter="format=gray,geq=lum='if(lt(X\,16)\,mod(N+98700\,16)*16+8\,mod(floor((N+98700)/16)\,16)*16+8)'"
ff -f lavfi -i color=c=gray:s=32x32:r=30:d=3290 -f lavfi -i "color=c=gray:s=32x32:r=30:d=20,$counter" \
  -f lavfi -i color=c=gray:s=32x32:r=30:d=290 -filter_complex '[0][1][2]concat=n=3:v=1' \
  -c:v libx264 -preset ultrafast -g 300 -pix_fmt yuv420p lecture.mp4
ffprobe -v error -select_streams v -show_entries packet=size,pos,flags -of csv=p=0 lecture.mp4 > lecture.mp4.vpackets
# Tables that claim a sample of 0xFFFFFFF0 bytes (ffmpeg refuses to read
# such files): in a small file, and with 64-bit chunk offsets past 4 GiB in
# a sparse one of about 8 GiB that holds all the bytes claimed.
ff "${small[@]}" -t 1 -c:v libx264 -preset ultrafast -g 5 -bf 0 -pix_fmt yuv420p huge_base.mp4
python3 "$here/huge_samples.py" huge_base.mp4 12 huge_size.mp4 huge_past_4gib.mp4
# A phone's clip in short: HEVC in 10 bits at about 28 frames a second of
# varying length, whose edit starts 225/600 s into the media, between two
# frames. Its 41st frame starts 1.005 s into the edit; ffmpeg counts the
# edit from the first frame after its start, 6/600 s later, and puts it at
# 0.995 s.
ff "${small[@]}" -t 2 -vf "settb=1/600,setpts='N*21-12*eq(N\,40)'" -vsync passthrough -enc_time_base:v 1/600 \
  -c:v libx265 -pix_fmt yuv420p10le -tag:v hvc1 -x265-params log-level=error -video_track_timescale 600 vfr_base.mp4
rewrite edits vfr_base.mp4 vfr_edited.mp4 vide 1.3:0.375

# Sound: WAV files of each form, and movies whose sound is edited: AAC cut
# mid-packet by ffmpeg's own seek, AAC that starts late (an empty edit
# first), and PCM with several edits written by hand. Beside each sound
# track ffmpeg's decode of it (NAME.aN.s16: interleaved s16le, one or two
# channels, at 8000 to 48000 frames a second, as the engine plays it).
chirp=(-f lavfi -i "aevalsrc=0.6*sin(2*PI*(200+500*t)*t)|0.4*sin(2*PI*(900-300*t)*t):s=44100:d=1")
ff "${chirp[@]}" -ac 1 -c:a pcm_u8 -ar 22050 wave_u8_mono_22050.wav
ff "${chirp[@]}" -c:a pcm_s16le wave_s16_stereo_44100.wav
ff "${chirp[@]}" -ac 1 -c:a pcm_s16le -ar 48000 wave_s16_mono_48000.wav
ff "${chirp[@]}" -c:a pcm_s24le -ar 48000 wave_s24_stereo_48000.wav
ff "${chirp[@]}" -ac 1 -c:a pcm_s32le -ar 22050 wave_s32_mono_22050.wav
ff "${chirp[@]}" -c:a pcm_f32le wave_f32_stereo_44100.wav
ff "${chirp[@]}" -ac 1 -c:a pcm_f64le wave_f64_mono_44100.wav
ff "${chirp[@]}" -c:a pcm_mulaw -ar 22050 wave_mulaw_stereo_22050.wav
ff "${chirp[@]}" -ac 1 -c:a pcm_alaw -ar 48000 wave_alaw_mono_48000.wav
ff "${chirp[@]}" -c:a pcm_f32le -ar 96000 wave_f32_stereo_96000.wav
ff "${chirp[@]}" -af "pan=5.1|FL=c0|FR=c1|FC=0.5*c0|LFE=0*c0|BL=0.3*c0|BR=0.3*c1" -c:a pcm_s16le wave_s16_6ch_44100.wav
ff -ss 0.3 -i sound.m4a -c copy aac_trimmed.m4a
ff -itsoffset 0.4 -i sound.m4a -c copy aac_late.m4a
ff "${chirp[@]}" -ac 1 -c:a pcm_s16be pcm_edit_base.mov
# Nothing for 0.2 s, then media 0.5 s to 0.8 s, then 0.1 s to 0.35 s.
rewrite edits pcm_edit_base.mov pcm_edited.mov soun 0.2:-1 0.3:0.5 0.25:0.1
# Damaged sound: the tracks' movie with its moov first, cut halfway through
# its samples; AAC whose second half of samples is noise.
ff -i sounds.mov -map 0:a:0 -map 0:a:9 -c copy -movflags +faststart sounds_faststart.mov
python3 - <<'PY'
import random, struct
data = open('sounds_faststart.mov', 'rb').read()
open('damaged_cut.mov', 'wb').write(data[:len(data) * 2 // 3])
data = bytearray(open('sound.m4a', 'rb').read())
pos = 0
while pos + 8 <= len(data):
    size, kind = struct.unpack_from('>I4s', data, pos)
    if kind == b'mdat':
        break
    pos += size
rng = random.Random(7)
for i in range(pos + 8 + (size - 8) // 2, pos + size):
    data[i] = rng.randrange(256)
open('damaged_noise.m4a', 'wb').write(data)
PY
for f in sounds.mov sounds.mp4 sound.m4a aac_trimmed.m4a aac_late.m4a pcm_edit_base.mov wave_*.wav; do
  n=0
  while read -r rate channels; do
    [ -n "$rate" ] || continue
    ac=$(( channels >= 2 ? 2 : 1 ))
    ar=$(( rate < 8000 ? 8000 : rate > 48000 ? 48000 : rate ))
    ff -i "$f" -map 0:a:$n -f s16le -ac $ac -ar $ar "$f.a$n.s16"
    n=$((n + 1))
  done < <(ffprobe -v error -select_streams a -show_entries stream=sample_rate,channels -of csv=p=0 "$f" |
           awk -F, '{ print $1, $2 }')
done

for f in h264_aac.mp4 h264_faststart.mp4 mjpeg_pcm.mov delayed.mov sound.m4a mobile.3gp \
         fragmented.mp4 fragmented_moof_base.mp4 fragmented_by_time.mp4 fragmented_partly.mp4 \
         fragmented_text.mp4 turned_90.mp4 turned_180.mp4 turned_270.mp4 mirrored.mp4 flipped.mp4 \
         aspect.mp4 aspect.mov wide854.mp4 bt709.mp4 two_videos.mp4 qtrle.mov qtrle_grey.mov prores.mov cinepak.mov \
         svq1.mov mpeg4.mp4 h263.mov png.mov uyvy.mov pal8.mov dv.mov hevc.mp4 av1.mp4 sounds.mov sounds.mp4 \
         smc.mov rpza.mov mjpegb.mov h264_10bit.mp4 h264_444.mp4 hevc_10bit.mp4 \
         edit_base.mov aac_trimmed.m4a aac_late.m4a pcm_edited.mov wave_*.wav size_*.mp4 huge_base.mp4 \
         vfr_base.mp4 vfr_edited.mp4; do
  ffprobe -v error -count_packets -show_streams -show_format -of flat "$f" > "$f.probe"
  # From one more reading: the presentation times of the first video
  # stream's packets (NAME.vpts, one per line, seconds, ascending) and its
  # packets in file order (NAME.vpackets: size, offset, key flag); every
  # stream's packets in file order (NAME.packets: stream, pts, dts, size,
  # offset, flags) and extradata (NAME.extradata: index and hex).
  ffprobe -v error -show_entries packet=stream_index,pts,pts_time,dts,size,pos,flags:stream=index,codec_type,extradata \
    -show_data -of json "$f" | python3 -c '
import json, sys
name = sys.argv[1]
probe = json.load(sys.stdin)
streams, packets = probe.get("streams", []), probe.get("packets", [])
video = [s["index"] for s in streams if s.get("codec_type") == "video"][:1]
mine = [p for p in packets if [p["stream_index"]] == video]
with open(name + ".vpts", "w") as out:
    for t in sorted((p["pts_time"] for p in mine if "pts_time" in p), key=float):
        out.write(t + "\n")
with open(name + ".vpackets", "w") as out:
    for p in mine:
        out.write("%s,%s,%s\n" % (p["size"], p.get("pos", "N/A"), p["flags"]))
with open(name + ".packets", "w") as out:
    for p in packets:
        out.write("%d,%s,%s,%s,%s,%s\n" % (p["stream_index"], p.get("pts", "N/A"), p.get("dts", "N/A"),
                                            p["size"], p.get("pos", "N/A"), p["flags"]))
with open(name + ".extradata", "w") as out:
    for s in streams:
        lines = s.get("extradata", "").split("\n")
        out.write("%d %s\n" % (s["index"], "".join(l.split(": ", 1)[1][:39].replace(" ", "") for l in lines if ": " in l)))
' "$f"
done
ffprobe -v error -count_packets -show_streams -show_format -of flat lecture.mp4 > lecture.mp4.probe
"$here/make_walk_media.sh" walk
touch stamp
