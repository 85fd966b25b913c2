#!/usr/bin/env python3
"""Listening cases: the plug-in plays short files in the stand-in host, under
a Wine prefix whose sound goes to the build's own PulseAudio server, and the
recorder (pulse_recorder.c) records the null sink's monitor. Everything is judged in the
recording (sound_analysis.py); the host's answers only say what movie time
the plug-in claimed when it was stopped.

  sound_listen.py --make-media MEDIA_DIR        makes the files (build time)
  sound_listen.py GROUP RUN_DIR MEDIA_DIR RECORDER  plays one group, judges it

Each case of a group plays a file of its own pitch (or its own stretch of a
sweep, whose pitch tells the movie time heard), so what was heard is matched
to its case by pitch, not by order: a case that stays silent or runs on does
not shift the others. The recording's start relative to Play is unknown;
lengths run from the first to the last loud sample of a stretch.
"""
import math
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "media"))
import sound_analysis as sa  # noqa: E402
import vbri_mp3  # noqa: E402

RATE = 44100          # the null sink's and the recording's rate
LENGTH_TOL = 0.050    # heard length against the movie's, seconds
RATE_LENGTH_TOL = 0.060  # the same at other rates: a stretcher's window more
MARKER = 0.100        # the start's marker tone, seconds
MARKER_TOL = 0.010
PITCH_TOL = 0.02
TAIL_MAX = 0.050      # sound after Stop, the window's closing, a segment's end
GAP_MAX = 0.050
DB_TOL = 1.0
AMPLITUDE_DB = 20 * math.log10(0.5 / math.sqrt(2))  # a sine at half scale

# The sweep: pitch rises 400 Hz a second from 300 Hz, so the pitch heard
# names the movie time heard.
SWEEP_HZ, SWEEP_SLOPE, SWEEP_SECONDS = 300, 400, 4


def tone(hz, seconds, rate=RATE, channels=1, right_gain=1.0):
    left = f"0.5*sin(2*PI*{hz}*t)"
    expr = left if channels == 1 else f"{left}|{0.5 * right_gain}*sin(2*PI*{hz}*t)"
    return ["-f", "lavfi", "-i", f"aevalsrc={expr}:s={rate}:d={seconds}"]


def marked(marker_hz, body_hz, seconds, late_body_hz=None):
    """A tone whose first 100 ms are another pitch. With late_body_hz, the
    first second is that pitch and the marker comes at 1 s instead."""
    if late_body_hz is None:
        hz = f"if(lt(t,{MARKER}),{marker_hz},{body_hz})"
    else:
        hz = f"if(lt(t,1),{late_body_hz},if(lt(t,{1 + MARKER}),{marker_hz},{body_hz}))"
    return ["-f", "lavfi", "-i", f"aevalsrc=0.5*sin(2*PI*t*{hz}):s={RATE}:d={seconds}".replace(",", "\\,")]


def picture(seconds):
    return ["-f", "lavfi", "-i", f"color=c=gray:s=64x48:r=25:d={seconds}",
            "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"]


PCM16 = ["-c:a", "pcm_s16le"]
SWEEP = ["-f", "lavfi", "-i",
         f"aevalsrc=0.5*sin(2*PI*({SWEEP_HZ}*t+{SWEEP_SLOPE / 2}*t*t)):s={RATE}:d={SWEEP_SECONDS}"] + PCM16

# The formats: 0.5 s each, at pitches 7 % apart; stereo files carry
# the right channel 6 dB below the left, so a lost or swapped channel shows.
FORMAT_SECONDS = 0.5
FORMATS = [  # file, codec, rate, channels
    ("u8.wav", ["-c:a", "pcm_u8"], 22050, 1),
    ("s16.wav", ["-c:a", "pcm_s16le"], 44100, 2),
    ("s24.wav", ["-c:a", "pcm_s24le"], 48000, 1),
    ("f32.wav", ["-c:a", "pcm_f32le"], 44100, 2),
    ("mp3.mp3", ["-c:a", "libmp3lame", "-b:a", "128k"], 44100, 2),
    ("mp3-mono.mp3", ["-c:a", "libmp3lame", "-b:a", "64k"], 22050, 1),
    ("aac.m4a", ["-c:a", "aac", "-b:a", "128k"], 48000, 2),
    ("aac.mp4", ["-c:a", "aac", "-b:a", "64k"], 22050, 1),
    ("aac.mov", ["-c:a", "aac", "-b:a", "128k"], 44100, 2),
    ("twos.mov", ["-c:a", "pcm_s16be"], 22050, 1),
    ("sowt.mov", ["-c:a", "pcm_s16le"], 48000, 2),
    ("in24.mov", ["-c:a", "pcm_s24be"], 44100, 1),
    ("fl32.mov", ["-c:a", "pcm_f32be"], 48000, 2),
    ("ulaw.mov", ["-c:a", "pcm_mulaw"], 22050, 1),
    ("alaw.mov", ["-c:a", "pcm_alaw"], 44100, 2),
    # Containers and codings libavformat and libavcodec read.
    ("mp3-vbr.mp3", ["-c:a", "libmp3lame", "-q:a", "4"], 44100, 2),
    ("flac.flac", ["-c:a", "flac"], 44100, 2),
    ("vorbis.ogg", ["-c:a", "libvorbis"], 44100, 2),
    ("opus.opus", ["-c:a", "libopus"], 48000, 1),
    ("adts.aac", ["-c:a", "aac"], 22050, 1),
    ("mp2.mp2", ["-c:a", "mp2"], 48000, 2),
    ("aiff.aiff", ["-c:a", "pcm_s16be"], 44100, 2),
    ("au.au", ["-c:a", "pcm_s16be"], 22050, 1),
    ("ima.wav", ["-c:a", "adpcm_ima_wav"], 22050, 1),
    ("msadpcm.wav", ["-c:a", "adpcm_ms"], 44100, 2),
    ("rf64.wav", ["-c:a", "pcm_s16le", "-rf64", "always"], 44100, 2),
    ("gsm.wav", ["-c:a", "libgsm_ms"], 8000, 1),
    # ffmpeg's WMA encoder leaves out the last 36 ms of its input: heard
    # 0.464 s.
    ("wma.wma", ["-c:a", "wmav2"], 44100, 2),
    ("aifc.aifc", ["-c:a", "pcm_alaw", "-f", "aiff"], 22050, 1),
    # Given a VBRI header after ffmpeg's encoding (vbri_mp3.py).
    ("vbri.mp3", ["-c:a", "libmp3lame", "-q:a", "4", "-write_xing", "0"], 44100, 2),
]
# Files finished after ffmpeg's encoding: name -> what is done to it.
FINISH = {"format-vbri.mp3": lambda path: vbri_mp3.main(["vbri_mp3.py", path, path])}


def format_hz(i):
    # 7 % apart: each stands clear of its neighbours' pitch tolerance.
    return round(400 * 1.07 ** i)


def media():
    """Every file the cases play: name -> ffmpeg's arguments."""
    m = {
        "start.wav": marked(500, 1000, 2) + PCM16,
        "start-late.wav": marked(600, 1200, 2, late_body_hz=300) + PCM16,
        "start.mov": marked(700, 1400, 2) + picture(2) + PCM16,
        "sweep.wav": SWEEP,
        "volume.wav": tone(1000, 5, channels=2) + PCM16,
    }
    for name, hz in (("r05", 600), ("r2", 800), ("set2", 1000), ("set05", 1200), ("r3", 1400), ("back", 1600)):
        m[f"rate-{name}.wav"] = tone(hz, 4) + PCM16
    for i, (name, codec, rate, channels) in enumerate(FORMATS):
        video = picture(FORMAT_SECONDS) if name.endswith((".mp4", ".mov")) else []
        m["format-" + name] = tone(format_hz(i), FORMAT_SECONDS, rate, channels, 0.5) + video + codec
    return m


def make_media(folder):
    os.makedirs(folder, exist_ok=True)
    for name, args in media().items():
        out = os.path.join(folder, name)
        stamp = out + ".args"
        want = " ".join(args)
        if os.path.exists(out) and os.path.exists(stamp) and open(stamp).read() == want:
            continue
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y"] + args + [out], check=True)
        if name in FINISH:
            FINISH[name](out)
        with open(stamp, "w") as f:
            f.write(want)


class Verdict:
    def __init__(self, group):
        self.group, self.failed, self.count = group, 0, 0

    def check(self, name, ok, detail):
        self.count += 1
        self.failed += 0 if ok else 1
        print(f"{'ok  ' if ok else 'FAIL'} {self.group}/{name}: {detail}", flush=True)

    def note(self, text):
        print(f"     {text}", flush=True)


class Heard:
    """A recording cut into stretches of sound, each matched to the case of
    the nearest pitch."""

    def __init__(self, rec, min_gap=0.3):
        # Dropouts are cut out before anything is judged: a sink whose client
        # fell behind (Wine's own sound thread on a slow or emulated machine)
        # plays silence and goes on where it was. What the player controls
        # is judged on the rest; its own dropouts are scripts/bench's count.
        self.raw = rec
        self.rec, self.dropouts = rec.without_dropouts(min_gap)
        self.spans = self.rec.spans(min_gap)

    def pitch(self, span):
        """The median pitch of a stretch's 20 ms windows: a dropout or a
        click moves it no more than it moves one window."""
        a, b = span
        found = sorted(f for _, f in self.rec.frequencies(a, b, 0.02) if f)
        return found[len(found) // 2] if found else None

    def matching(self, hz, tolerance=0.03):
        """The stretches whose pitch lies within tolerance of hz."""
        return [s for s in self.spans if self.pitch(s) and abs(self.pitch(s) / hz - 1) <= tolerance]

    def length(self, span):
        return self.rec.seconds(span[1] - span[0] + 1)

    def length_near(self, span, expected, tolerance, got=None):
        """Whether a stretch lasts `expected`: what is left once its dropouts
        are cut out, or that with them. After a stall Wine's sound thread
        may drop what it should have played meanwhile, or play it late: the
        length lies between the two, and only there can sound be missing."""
        a, b = span
        got = self.length(span) if got is None else got
        lost = sum(seconds for at, seconds in self.rec.splices if a <= at <= b)
        return got - tolerance <= expected <= got + lost + tolerance

    def describe(self):
        return ", ".join(f"{self.rec.seconds(a):.2f}-{self.rec.seconds(b):.2f} s at {self.pitch((a, b)) or 0:.0f} Hz"
                         for a, b in self.spans) or "nothing"


def one(v, heard, name, hz, tolerance=0.03):
    """The one stretch heard for a case, or None after saying why."""
    found = heard.matching(hz, tolerance)
    if len(found) != 1:
        v.check(name, False, f"{len(found)} stretches at {hz} Hz heard (heard: {heard.describe()})")
        return None
    return found[0]


def stretches(v, heard, count, name, detail):
    """Checks that the sound came in `count` stretches; answers whether any
    was heard at all, so the group's other checks can go on."""
    ok = len(heard.spans) == count
    v.check(name, ok, detail() if ok else f"{len(heard.spans)} stretches heard, not {count} ({heard.describe()})")
    return bool(heard.spans)


# Each group: (host script, judge). Scripts name the files they play as {name}.


def group_start():
    script = """
Vantoro-Play {start.wav}
wait 2800
Vantoro-Play {start-late.wav}|0|1|00:00:01.00
wait 1800
Vantoro-Play {start.mov}
wait 2800
"""

    def judge(v, heard, answers):
        for name, marker_hz, body_hz, seconds in (("wav", 500, 1000, 2.0), ("start-time", 600, 1200, 1.0),
                                                  ("mov", 700, 1400, 2.0)):
            span = one(v, heard, name, body_hz)
            if not span:
                continue
            length, heard_hz = marker_heard(heard.rec, span, body_hz)
            v.check(f"{name} first 100 ms", abs(length - MARKER) <= MARKER_TOL and heard_hz and
                    abs(heard_hz / marker_hz - 1) <= PITCH_TOL,
                    f"{length * 1000:.0f} ms of {marker_hz} Hz heard (at {heard_hz or 0:.0f} Hz) before {body_hz} Hz")
            got = heard.length(span)
            v.check(f"{name} played to its end", heard.length_near(span, seconds, LENGTH_TOL),
                    f"heard {got:.3f} s of {seconds:.3f} s ({sa.ms(got - seconds)})")
    return script, judge


def marker_heard(rec, span, body_hz):
    """How long the stretch sounds at another pitch before body_hz, and at
    which pitch."""
    a, b = span
    c = rec.crossings(a, min(b, a + int(0.5 * rec.rate)))
    period = rec.rate / body_hz
    for i in range(len(c) - 6):
        if all(abs((c[i + k + 1] - c[i + k]) / period - 1) < 0.1 for k in range(5)):
            return rec.seconds(c[i] - a), rec.frequency(a, int(c[i])) if i >= 2 else None
    return 0.0, None


def group_stop():
    script = """
Vantoro-Play {sweep.wav}
wait 1500
Vantoro-GetTime
Vantoro-Stop
wait 1000
Vantoro-Play {sweep.wav}|0|1|00:00:02.00
wait 1000
Vantoro-GetTime
close
wait 1000
open Movies
Vantoro-Play {sweep.wav}|0|1|00:00:03.00|00:00:03.80
wait 1800
"""

    def judge(v, heard, answers):
        times = [sa.time_code_seconds(a) for f, _, a in answers if f == "Vantoro-GetTime"]
        if len(times) != 2:
            v.check("answers", False, f"GetTime answered {times}")
            return
        pieces = [piece for span in heard.spans
                  for piece in sa.sweep_pieces(heard.rec, *span, SWEEP_HZ, SWEEP_SLOPE)]
        # (case, movie time started at, where it was stopped, how)
        for name, start, stop, how in (("Stop", 0.0, times[0], "Vantoro-Stop at GetTime"),
                                       ("close", 2.0, times[1], "close at GetTime"),
                                       ("segment end", 3.0, 3.8, "the end argument")):
            near = [p for p in pieces if start - 0.1 <= p[2] <= stop]
            if not near:
                v.check(name, False, f"no sweep from {start:.1f} s heard (heard: {heard.describe()})")
                continue
            a, b, first, last = min(near, key=lambda p: abs(p[2] - start))
            got = heard.rec.seconds(b - a)
            v.check(f"{name} heard length", heard.length_near((a, b), stop - start, LENGTH_TOL, got),
                    f"heard {got:.3f} s, movie ran {stop - start:.3f} s ({how}): {sa.ms(got - (stop - start))}")
            v.check(f"after {name}", last - stop <= TAIL_MAX,
                    f"sound heard up to movie time {last:.3f} s, {sa.ms(last - stop)} past {stop:.3f} s; "
                    f"it began at {first:.3f} s ({sa.ms(first - start)})")
    return script, judge


RATE_CASES = {  # file: (Play's rate, start, end, SetRate after GetTime or None, tone's pitch)
    "r05": (0.5, 1.0, 2.0, None, 600),
    "r2": (2, 0.0, 3.0, None, 800),
    "set2": (1, 0.0, 3.0, 2, 1000),
    "set05": (1, 2.0, 3.0, 0.5, 1200),
    "r3": (3, 0.0, 4.0, None, 1400),
    "back": (-1, 2.0, 0.0, None, 1600),
}


def group_rate():
    script = """
Vantoro-Play {rate-r05.wav}|0|0.5|00:00:01.00|00:00:02.00
wait 2600
Vantoro-Play {rate-r2.wav}|0|2|00:00:00.00|00:00:03.00
wait 2100
Vantoro-Play {rate-set2.wav}|0|1|00:00:00.00|00:00:03.00
wait 1000
Vantoro-GetTime
Vantoro-SetRate 2
wait 1800
Vantoro-Play {rate-set05.wav}|0|1|00:00:02.00|00:00:03.00
wait 400
Vantoro-GetTime
Vantoro-SetRate 0.5
wait 2200
Vantoro-Play {rate-r3.wav}|0|3
wait 1000
Vantoro-Play {rate-back.wav}|0|-1|00:00:02.00
wait 1000
Vantoro-Stop
wait 500
"""

    def judge(v, heard, answers):
        times = iter(sa.time_code_seconds(a) for f, _, a in answers if f == "Vantoro-GetTime")
        for name, (rate, start, end, new_rate, hz) in RATE_CASES.items():
            if new_rate:
                at = next(times, None)
                if at is None:
                    v.check(name, False, "GetTime gave no answer")
                    continue
                expected = (at - start) + (end - at) / new_rate
                what = f"SetRate {new_rate}"
            else:
                expected = (end - start) / rate if 0.5 <= rate <= 2 else 0
                what = f"rate {rate}"
            if not expected:
                found = heard.matching(hz)
                v.check(f"{what} silent", not found,
                        "silent" if not found else f"heard {sum(heard.length(s) for s in found):.2f} s")
                continue
            span = one(v, heard, f"{what} heard", hz, tolerance=0.1)
            if not span:
                continue
            got = heard.length(span)
            how = f" (rate 1 to {at:.2f} s)" if new_rate else ""
            v.check(f"{what} length", heard.length_near(span, expected, RATE_LENGTH_TOL),
                    f"heard {got:.3f} s, expected {expected:.3f} s{how} ({sa.ms(got - expected)})")
            a, b = span
            edge = int(0.02 * heard.rec.rate)
            overall = heard.pitch((a + edge, b - edge))
            windows = [f for _, f in heard.rec.frequencies(a + edge, b - edge, 0.1) if f]
            off = sum(1 for f in windows if abs(f / hz - 1) > PITCH_TOL)
            v.check(f"{what} pitch", overall and abs(overall / hz - 1) <= PITCH_TOL and off <= len(windows) // 10,
                    f"{overall or 0:.1f} Hz for a {hz} Hz tone; {off} of {len(windows)} 100 ms windows off by > 2 %")
    return script, judge


VOLUMES = [(256, 0.0), (128, -6.02), (64, -12.04), (0, None), (256, 0.0)]


def group_volume():
    script = """
Vantoro-Play {volume.wav}
wait 700
Vantoro-SetVolume 128
wait 700
Vantoro-SetVolume 64
wait 700
Vantoro-SetVolume 0
wait 700
Vantoro-SetVolume 256
wait 500
Vantoro-Stop
wait 500
"""

    def judge(v, heard, answers):
        rec = heard.rec
        silence = lambda: f"{rec.seconds(heard.spans[1][0] - heard.spans[0][1]):.2f} s of silence between the levels"
        if not stretches(v, heard, 2, "volume 0 silent", silence):
            return
        steps = [level for span in heard.spans for level in plateaus(rec, span)]
        heard_levels = [lv for lv in VOLUMES if lv[1] is not None]
        if len(steps) != len(heard_levels):
            v.check("levels", False, f"{len(steps)} steady levels heard, "
                    f"{[f'{d - AMPLITUDE_DB:+.1f} dB' for d in steps]}, not {len(heard_levels)}")
            return
        for (volume, want), got in zip(heard_levels, steps):
            rel = got - AMPLITUDE_DB
            v.check(f"volume {volume}", abs(rel - want) <= DB_TOL, f"{rel:+.2f} dB against the file, "
                    f"expected {want:+.2f} dB")
    return script, judge


def plateaus(rec, span, block=0.02, min_length=0.2):
    """The steady levels of a stretch (dBFS, each the median of its inner
    blocks), in order."""
    a, b = span
    n = int(block * rec.rate)
    levels = [rec.rms_db(i, i + n) for i in range(a, b - n, n)]
    runs, run = [], []
    for lv in levels:
        if run and abs(lv - run[0]) > 1.5:
            runs.append(run)
            run = []
        run.append(lv)
    runs.append(run)
    out = []
    for r in runs:
        if len(r) * block >= min_length:
            inner = sorted(r[2:-2] or r)
            out.append(inner[len(inner) // 2])
    return out


def group_loop():
    script = """
Vantoro-Play {sweep.wav}|1|1|00:00:01.00|00:00:02.00
wait 3500
Vantoro-Stop
wait 600
"""

    def judge(v, heard, answers):
        rec = heard.rec
        if not stretches(v, heard, 1, "one stretch", lambda: "the loop was heard without a break"):
            return
        a, b = heard.spans[0][0], heard.spans[-1][1]
        # Silence where the segment comes round is the player's; elsewhere
        # it is a dropout, told with the rest.
        raw = heard.raw
        at_wraps = [seconds for start, seconds in heard.dropouts
                    if seconds > GAP_MAX and at_wrap(raw, raw.at(start), raw.at(start + seconds))]
        v.check("no silence at a wrap", not at_wraps,
                f"{len(at_wraps)} silences over {GAP_MAX * 1000:.0f} ms where the segment comes round"
                f"{f' (longest {max(at_wraps) * 1000:.0f} ms)' if at_wraps else ''} in "
                f"{rec.seconds(b - a):.2f} s heard")
        laps = loop_laps(rec, a, b)
        v.check("repeats", len(laps) >= 3, f"{len(laps)} laps of the segment heard")
        # A lap is heard when the sweep's time would be 1.0 s + (t - offset);
        # from one lap's offset to the next is 1 s plus what the wrap adds.
        for k in range(len(laps) - 1):
            added = laps[k + 1] - laps[k] - 1.0
            v.check(f"wrap {k + 1}", abs(added) <= GAP_MAX,
                    f"the wrap {'adds' if added >= 0 else 'loses'} {abs(added) * 1000:.0f} ms")
        if laps:
            first, _ = sa.heard_sweep_ends(rec, a, b, SWEEP_HZ, SWEEP_SLOPE)
            v.note(f"the first lap began at movie time {first:.3f} s (the segment at 1.000 s)")
    return script, judge


def at_wrap(rec, first, last, window=0.02, near=0.05):
    """Whether a silence from sample first to last lies where the looped
    sweep segment (1 s to 2 s) comes round: it ends it, or the next lap
    starts after it."""
    n = rec.at(window)
    before = rec.frequency(max(0, first - n), first)
    after = rec.frequency(last, last + n)
    end = before and sa.sweep_position(before, SWEEP_HZ, SWEEP_SLOPE) >= 2.0 - near
    start = after and sa.sweep_position(after, SWEEP_HZ, SWEEP_SLOPE) <= 1.0 + near
    return bool(end or start)


def loop_laps(rec, a, b):
    """For each lap of a looped sweep segment, the recording time at which
    it would have been at its segment's start, from the windows inside it."""
    positions = sa.sweep_positions(rec, a, b, SWEEP_HZ, SWEEP_SLOPE)
    laps, lap = [], []
    for i, (t, pos) in enumerate(positions):
        if lap and pos < lap[-1][1] - 0.5:
            laps.append(lap)
            lap = []
        lap.append((t, pos))
    laps.append(lap)
    out = []
    for lap in laps:
        inner = [t - (pos - 1.0) for t, pos in lap[2:-2] if 1.0 <= pos <= 2.0]
        if len(inner) >= 5:
            inner.sort()
            out.append(inner[len(inner) // 2])
    return out


def group_formats():
    lines = []
    for name, *_ in FORMATS:
        lines += [f"Vantoro-Play {{format-{name}}}", "wait 1100"]
    script = "\n".join(lines) + "\n"

    def judge(v, heard, answers):
        rec = heard.rec
        for i, (name, _, rate, channels) in enumerate(FORMATS):
            hz = format_hz(i)
            label = f"{name} {rate / 1000:g} kHz {'mono' if channels == 1 else 'stereo'}"
            span = one(v, heard, label, hz)
            if not span:
                continue
            a, b = span
            got = heard.length(span)
            # Inside the stretch: its first and last cycles may be cut.
            edge = int(0.02 * rec.rate)
            pitch = heard.pitch((a + edge, b - edge))
            balance = rec.rms_db(a + edge, b - edge) - rec.rms_db(a + edge, b - edge, rec.channels[1])
            want = 0.0 if channels == 1 else 6.02
            ok = (heard.length_near(span, FORMAT_SECONDS, LENGTH_TOL) and pitch and abs(pitch / hz - 1) <= PITCH_TOL and
                  abs(balance - want) <= DB_TOL)
            v.check(label, ok, f"{got:.3f} s ({sa.ms(got - FORMAT_SECONDS)}) at {pitch or 0:.1f} Hz of {hz} Hz, "
                    f"right {balance:.1f} dB below left (expected {want:.1f})")
            # Dropouts and clicks come and go with the machine's load: told,
            # not judged.
            clicks, steepest = rec.clicks(a + edge, b - edge, hz)
            gaps = rec.gaps(a, b)
            if clicks or gaps:
                v.note(f"{name}: {clicks} clicks (up to {steepest:.1f} times a sine's steepest step), "
                       f"{len(gaps)} dropouts{f' (longest {gaps[0][1] * 1000:.0f} ms)' if gaps else ''}")
    return script, judge


GROUPS = {"start": group_start, "stop": group_stop, "rate": group_rate, "volume": group_volume,
          "loop": group_loop, "formats": group_formats}


def parse_answers(text):
    """(function, arguments, answer) of each call in the host's transcript."""
    out = []
    for line in text.splitlines():
        m = re.match(r"^(Vantoro-\w+)(?: (.*?))? -> (.*)$", line.strip())
        if m:
            answer = m.group(3)
            out.append((m.group(1), m.group(2) or "", "" if answer.startswith("(") else answer.strip('"')))
    return out


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"sound_listen: {what} within {seconds} s")
        time.sleep(0.05)


def run_group(group, run_dir, media_dir, recorder_path):
    script_text, judge = GROUPS[group]()
    win_media = subprocess.run(["winepath", "-w", media_dir], capture_output=True, text=True,
                               check=True).stdout.strip()
    names = re.findall(r"\{([^}]+)\}", script_text)
    for n in names:
        if not os.path.exists(os.path.join(media_dir, n)):
            sys.exit(f"sound_listen: {n} is missing from {media_dir} (the build makes it)")
    script_text = re.sub(r"\{([^}]+)\}", lambda m: win_media + "\\" + m.group(1), script_text)
    base = os.path.join(run_dir, group)
    with open(base + ".txt", "w") as f:
        f.write(script_text)
    heard_path = base + ".wav"
    log = base + ".times"
    with open(base + ".recorder", "w") as status:
        recorder = subprocess.Popen([recorder_path, "out.monitor", str(RATE), "2", base + ".raw", log],
                                    stdin=subprocess.DEVNULL, stdout=status, stderr=status)
    try:
        wait_for(lambda: recorder.poll() is not None or "recording" in open(base + ".recorder").read(), 30,
                 "the recorder heard nothing")
        if recorder.poll() is not None:
            sys.exit(f"sound_listen: the recorder stopped: {open(base + '.recorder').read().strip()}")
        win_script = subprocess.run(["winepath", "-w", base + ".txt"], capture_output=True, text=True,
                                    check=True).stdout.strip()
        with open(base + ".answers", "w") as out, open(base + ".stderr", "w") as err:
            host = subprocess.run(["timeout", "300", "wine", os.path.join(run_dir, "vantoro-host.exe"), win_script],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        # Everything up to the host's end is in the recording.
        ended = time.time()
        wait_for(lambda: sa.last_read_time(log) > ended, 30, "the recorder fell behind")
    finally:
        recorder.terminate()
        recorder.wait()
    transcript = open(base + ".answers", errors="replace").read()
    if host.returncode != 0:
        last = [ln for ln in open(base + ".stderr", errors="replace").read().splitlines() if ln.strip()]
        sys.exit(f"sound_listen: the host failed (exit {host.returncode}): "
                 f"{(last or ['it printed nothing'])[-1]}")
    answers = parse_answers(transcript)
    errors = [(f, a) for f, _, a in answers if re.fullmatch(r"\d{5}", a) and f not in ("Vantoro-GetTime",)]
    v = Verdict(group)
    v.check("calls", not errors, "every call answered as it should" if not errors else f"errors: {errors}")
    rec = sa.Recording.from_raw(base + ".raw", RATE, 2)
    rec.save_wav(heard_path)
    os.remove(base + ".raw")
    heard = Heard(rec)
    v.note(f"heard: {heard.describe()}")
    if heard.dropouts:
        v.note(f"{len(heard.dropouts)} dropouts cut out before judging: " +
               ", ".join(f"{seconds * 1000:.0f} ms at {start:.2f} s" for start, seconds in heard.dropouts))
    judge(v, heard, answers)
    print(f"sound_listen {group}: {v.count - v.failed} of {v.count} checks passed "
          f"(recording: {heard_path})")
    return (1 if v.failed else 0), heard.dropouts


# A recording with this much cut out was starved: the sound server's
# client (Wine's mixer) did not run for stretch after stretch, as on an
# overloaded machine, and what is left cannot be judged. Such a group is
# listened to again; a player that starves the device itself fails every
# time, and scripts/bench counts its underruns.
STARVED_DROPOUTS = 8
STARVED_SECONDS = 0.3
LISTENINGS = 3


def starved(dropouts):
    return len(dropouts) >= STARVED_DROPOUTS or sum(s for _, s in dropouts) >= STARVED_SECONDS


def listen(group, run_dir, media_dir, recorder_path):
    for attempt in range(1, LISTENINGS + 1):
        status, dropouts = run_group(group, run_dir, media_dir, recorder_path)
        if status == 0 or not starved(dropouts) or attempt == LISTENINGS:
            return status
        print(f"sound_listen {group}: the sink was starved ({len(dropouts)} dropouts, "
              f"{sum(s for _, s in dropouts) * 1000:.0f} ms in all); listening again "
              f"({attempt + 1} of {LISTENINGS})\n", flush=True)
    return 1


def main(argv):
    if len(argv) == 3 and argv[1] == "--make-media":
        make_media(argv[2])
        return 0
    if len(argv) != 5 or argv[1] not in GROUPS:
        print(__doc__.strip().splitlines()[0])
        print(f"usage: sound_listen.py --make-media MEDIA_DIR | {'|'.join(GROUPS)} RUN_DIR MEDIA_DIR RECORDER")
        return 2
    return listen(*argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
