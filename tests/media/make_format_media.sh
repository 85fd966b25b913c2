#!/usr/bin/env bash
# Makes one file of each container libavformat reads for the engine, and
# beside them what ffprobe and ffmpeg say of each:
#   formats.txt   NAME DURATION_SECONDS WIDTH HEIGHT TIME_SCALE LEAD (one a
#                 line; 0 0 for sound alone; the scale the engine is to
#                 report; LEAD the seconds from the file's start to the
#                 first video frame)
#   NAME.at40.bgra ffmpeg's decode of the video frame shown 0.40 s after the
#                 first one, at the display size; NAME.at48.bgra at 0.48 s
#   NAME.head     the file's first 32 bytes: no packet in it
#   NAME.half     its first half
#   NAME.s16      of WMA and AMR files, ffmpeg's decode of the sound
#   NAME.times    of the variable-rate WebM, its pictures' own times (ms)
#   NAME.samples  for MP3 and ADTS files without a seek table: the samples
#                 ffmpeg decodes from it
# Written here by hand, as ffmpeg cannot write them: AMR files (Debian's
# ffmpeg has no AMR encoder; amr_file.py), an MP3's VBRI header (only
# Fraunhofer's encoder writes one; vbri_mp3.py), and an AVI indexed by
# OpenDML's index alone (ffmpeg writes one only past 1 GiB, too big for a
# test run; odml_avi.py).
# Usage: make_format_media.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# The hue turns once a second, so that neighbouring frames differ clearly.
pic=(-f lavfi -i testsrc=size=160x120:rate=25,hue=h=t*360)
tone=(-f lavfi -i sine=frequency=440:sample_rate=44100)
t=(-t 2)

ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v mpeg4 -c:a libmp3lame avi_mpeg4.avi
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v mjpeg -q:v 3 -c:a pcm_s16le -f avi odml.tmp
python3 "$here/odml_avi.py" odml.tmp avi_odml.avi
rm odml.tmp
# What the index is: OpenDML's alone, and libavformat reads it (its trace
# lists the entries).
grep -qa indx avi_odml.avi && ! grep -qa idx1 avi_odml.avi
# (grep reads it all: one that stops at the first match would leave
# ffprobe writing into a closed pipe, which pipefail counts as a failure.)
ffprobe -v trace avi_odml.avi 2>&1 | grep -c 'pos:.*len:' >/dev/null
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v mpeg1video -c:a mp2 -f mpeg ps_mpeg1.mpg
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v mpeg2video -c:a ac3 -f vob ps_mpeg2.vob
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v mpeg2video -c:a mp2 -f mpegts ts_mpeg2.ts
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -f mpegts -mpegts_m2ts_mode 1 ts_h264.m2ts
# A camcorder's name for the same 192-byte packets, with AVCHD's AC-3.
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libx264 -pix_fmt yuv420p -c:a ac3 -f mpegts -mpegts_m2ts_mode 1 ts_h264.mts
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libvpx -b:v 400k -deadline realtime -cpu-used 8 -c:a libvorbis webm_vp8.webm
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libvpx-vp9 -b:v 400k -deadline realtime -cpu-used 8 -c:a libopus mkv_vp9.mkv
# A variable frame rate, as a browser's or a screen recorder's WebM has:
# five frames 40 ms apart, one at 0.24 s shown for 160 ms, then one every
# 80 ms from 0.40 s. The container still says 25 a second.
ff "${pic[@]}" "${t[@]}" -vf "setpts='if(lt(N,5),N*0.04,if(lt(N,6),0.24,0.40+(N-6)*0.08))/TB'" -fps_mode vfr \
  -c:v libvpx -b:v 400k -deadline realtime -cpu-used 8 webm_vfr.webm
ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 webm_vfr.webm | sort -n > webm_vfr.webm.times
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libx264 -pix_fmt yuv420p -c:a ac3 mkv_h264.mkv
ff "${tone[@]}" "${t[@]}" -c:a alac mkv_alac.mkv
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v libtheora -q:v 7 -c:a libvorbis ogg_theora.ogv
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v flv1 -c:a libmp3lame -ar 44100 flv_h263.flv
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v wmv2 -c:a wmav2 asf_wmv2.wmv
ff "${pic[@]}" "${tone[@]}" "${t[@]}" -c:v wmv1 -c:a wmav1 asf_wmv1.wmv
ff -f lavfi -i testsrc=size=720x576:rate=25,hue=h=t*360 -f lavfi -i sine=frequency=440:sample_rate=48000 "${t[@]}" \
  -c:v dvvideo -pix_fmt yuv420p -ac 2 -c:a pcm_s16le -f dv dv_pal.dv

ff "${tone[@]}" "${t[@]}" -c:a flac sound.flac
ff "${tone[@]}" "${t[@]}" -c:a libmp3lame -b:a 128k -write_xing 0 sound_cbr.mp3
ff "${tone[@]}" "${t[@]}" -c:a libmp3lame -q:a 4 sound_xing.mp3
ff "${tone[@]}" "${t[@]}" -c:a libmp3lame -q:a 4 -write_xing 0 -f mp3 vbri.tmp
python3 "$here/vbri_mp3.py" vbri.tmp sound_vbri.mp3
rm vbri.tmp
ff "${tone[@]}" "${t[@]}" -c:a aac -f adts sound.aac
ff "${tone[@]}" "${t[@]}" -c:a pcm_s16be sound.aiff
# A coding only AIFC carries: the muxer then writes AIFC.
ff "${tone[@]}" "${t[@]}" -c:a adpcm_ima_qt -f aiff sound.aifc
[ "$(head -c 12 sound.aifc | tail -c 4)" = AIFC ]
ff "${tone[@]}" "${t[@]}" -c:a pcm_s16be sound.au
ff "${tone[@]}" "${t[@]}" -c:a libvorbis sound.ogg
ff "${tone[@]}" "${t[@]}" -c:a flac sound_flac.ogg
ff "${tone[@]}" "${t[@]}" -c:a libopus sound.opus
ff "${tone[@]}" "${t[@]}" -c:a wmav2 sound.wma
ff "${tone[@]}" "${t[@]}" -c:a wmav1 sound_wmav1.wma
ff "${tone[@]}" "${t[@]}" -c:a adpcm_ima_wav sound_ima.wav
ff "${tone[@]}" "${t[@]}" -c:a adpcm_ms sound_msadpcm.wav
ff -f lavfi -i sine=frequency=440:sample_rate=8000 "${t[@]}" -c:a libgsm_ms sound_gsm.wav
ff "${tone[@]}" "${t[@]}" -c:a pcm_s16le -rf64 always sound_rf64.wav
# AMR: 100 frames (2 s), bare and in 3GP (the wide band's with its movie
# header first, so that a cut copy still has it).
python3 "$here/amr_file.py" nb 100 sound_nb.amr
python3 "$here/amr_file.py" wb 100 sound_wb.amr
ff -i sound_nb.amr -c copy sound_nb.3gp
ff -i sound_wb.amr -c copy -movflags +faststart sound_wb.3gp
for f in *.wma *.wmv *.amr *.3gp; do
  ff -i "$f" -map 0:a -c:a pcm_s16le -f s16le "$f.s16"
done

: > formats.txt
for f in *.avi *.mpg *.vob *.ts *.m2ts *.mts *.webm *.mkv *.ogv *.flv *.wmv *.dv *.flac *.mp3 *.aac *.aiff *.aifc \
         *.au *.ogg *.opus *.wma sound_*.wav *.amr *.3gp; do
  head -c 32 "$f" > "$f.head"
  head -c $(( $(stat -c %s "$f") / 2 )) "$f" > "$f.half"
  duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$f")
  if [[ $f == *.amr ]]; then
    # ffprobe estimates a bare AMR file's length from its bit rate; its
    # frames, 20 ms each, tell exactly.
    duration=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of default=nw=1:nk=1 "$f" |
               awk '{ printf "%.6f", $1 * 0.02 }')
  fi
  v=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,sample_aspect_ratio,time_base \
      -of default=nw=1:nk=1 "$f" | awk "NR <= 4" | tr '\n' ' ')
  if [ -n "$v" ]; then
    read -r w h sar tb <<<"$v"
    # The display size: stored width times the pixel aspect.
    if [[ "$sar" =~ ^([0-9]+):([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" != 0 ]; then
      w=$(( (w * BASH_REMATCH[1] + BASH_REMATCH[2] / 2) / BASH_REMATCH[2] ))
    fi
    scale=${tb#*/}
    # Video time 0 is its first frame: how far that lies after the file's
    # start (the earliest stream's first time).
    vstart=$(ffprobe -v error -select_streams v:0 -show_entries stream=start_time -of default=nw=1:nk=1 "$f" | awk 'NR == 1')
    fstart=$(ffprobe -v error -show_entries format=start_time -of default=nw=1:nk=1 "$f")
    lead=$(awk -v v="$vstart" -v f="$fstart" 'BEGIN { printf "%.6f", v - f }')
    for at in 40 48; do
      from=$(awk -v v="$vstart" -v a="$at" 'BEGIN { printf "%.6f", v + a / 100 - 0.001 }')
      ff -copyts -i "$f" -vf "select=gte(t\\,$from),scale=${w}:${h}" -frames:v 1 -f rawvideo -pix_fmt bgra "$f.at$at.bgra"
    done
  elif [[ $f == *.3gp ]]; then
    # Our own movie reader: the movie header's time scale, as QuickTime's.
    w=0 h=0 lead=0
    scale=$(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); i = d.index(b"mvhd")
print(struct.unpack(">I", d[i + 16:i + 20])[0] if d[i + 4] == 0 else struct.unpack(">I", d[i + 24:i + 28])[0])' "$f")
  else
    w=0 h=0 lead=0
    scale=$(ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of default=nw=1:nk=1 "$f")
  fi
  echo "$f $duration $w $h $scale $lead" >> formats.txt
done
for f in sound_cbr.mp3 sound.aac; do
  ffmpeg -nostdin -v quiet -i "$f" -f s16le -ac 1 - | wc -c | awk '{ print $1 / 2 }' > "$f.samples"
done
