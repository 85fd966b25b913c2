#!/usr/bin/env python3
"""The A/V benchmark's figures: the flashes sync_bench.exe saw drawn, set
beside the beeps the recorder heard on the null sink's monitor, both in
wall time (CLOCK_REALTIME).

  av_sync.py --make-movie FILE SECONDS   the movie (ffmpeg)
  av_sync.py FLASHES RAW LOG [SINK_LATENCY_LOG]

Every whole second k of the movie has a flash (four frames) and a beep
(80 ms at 500 + 200 (k mod 6) Hz, from silence); a flash and a beep of the
same k mod 6 within 0.45 s of each other are one event. An offset is the
beep's time less the flash's: positive when the sound comes late.
"""
import os
import re
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import sound_analysis as sa  # noqa: E402

RATE = 44100
CODES = 6


def beep_hz(code):
    return 500 + 200 * code


def make_movie(path, seconds):
    video = (f"color=c=black:s=160x120:r=25:d={seconds},format=gray,"
             f"geq=lum='if(lt(mod(N\\,25)\\,4)\\,if(lt(X\\,80)\\,255\\,mod(floor(N/25)\\,{CODES})*32+16)\\,0)'")
    beep = (f"aevalsrc='if(lt(mod(t\\,1)\\,0.08)\\,0.5*sin(2*PI*(500+200*mod(floor(t)\\,{CODES}))*mod(t\\,1))\\,0)'"
            f":s={RATE}:d={seconds}")
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi",
                    "-i", beep, "-c:v", "libx264", "-preset", "ultrafast", "-qp", "10", "-g", "25", "-pix_fmt",
                    "yuv420p", "-c:a", "pcm_s16le", path], check=True)


def beeps(raw, log):
    """(wall time, code) of every beep heard."""
    rec = sa.Recording.from_raw(raw, RATE, 1)
    clock = sa.RecordingClock(log, RATE)
    out = []
    for onset in rec.onsets(0.3):
        # The median of the first 10 ms windows: a time-stretcher's first
        # window may blur the onset's pitch.
        found = sorted(f for _, f in rec.frequencies(onset, onset + rec.at(0.05), 0.01) if f)
        if not found:
            continue
        hz = found[len(found) // 2]
        code = round((hz - 500) / 200)
        if 0 <= code < CODES and abs(hz - beep_hz(code)) < 40:
            out.append((clock.wall(onset), code))
    return out


def flashes(path):
    """(phase, step, code, wall time) of every flash drawn."""
    out = []
    for line in open(path):
        m = re.match(r"flash (\S+) (\d+) (\d+) ([\d.]+)$", line.strip())
        if m:
            out.append((m.group(1), int(m.group(2)), int(m.group(3)), float(m.group(4))))
    return out


def offsets(seen, heard):
    """(phase, step, code, flash time, offset or None) for each flash."""
    out = []
    for phase, step, code, t in seen:
        near = [b for b, c in heard if c == code and abs(b - t) < 0.45]
        out.append((phase, step, code, t, min(near, key=lambda b: abs(b - t)) - t if near else None))
    return out


def summary(label, values, missing):
    if not values and not missing:
        return f"  {label:<34} no events"
    if not values:
        return f"  {label:<34} no beep heard for {missing} flashes"
    worst = max(values, key=abs)
    text = (f"  {label:<34} median {statistics.median(values) * 1000:+6.1f} ms, worst {worst * 1000:+6.1f} ms"
            f" ({len(values)} events")
    return text + (f", {missing} flashes without a beep)" if missing else ")")


def first_of_steps(events, phase, code=None):
    """The first flash of each step of a phase (of one code if given)."""
    seen, out = set(), []
    for e in events:
        if e[0] == phase and e[1] not in seen and (code is None or e[2] == code):
            seen.add(e[1])
            out.append(e)
    return out


def steadiness(times, codes):
    """The largest distance from 1 s between events one second apart."""
    off = [abs(t2 - t1 - 1.0) for t1, t2, c1, c2 in zip(times, times[1:], codes, codes[1:])
           if (c2 - c1) % CODES == 1 and t2 - t1 < 1.5]
    return max(off) if off else 0.0


def report(events, heard, sink_latency):
    def line(label, chosen):
        values = [e[4] for e in chosen if e[4] is not None]
        return summary(label, values, sum(1 for e in chosen if e[4] is None))

    loop_first = first_of_steps(events, "loop", 0)
    longs = [e for e in events if e[0] == "long"]
    heard_long = [(t, c) for t, c in heard if longs and longs[0][3] - 0.5 <= t <= longs[-1][3] + 0.5]
    print("A/V offsets, sound less picture (+ = sound late; goal within +-20 ms, +-40 ms worst):")
    print(line("at the start (Play from 0, x3)", first_of_steps(events, "start", 0)))
    print(line("after SetTime (x3)", first_of_steps(events, "settime")))
    print(line("Play from a start time (30 s)", loop_first[:1]))
    print(line("at loop wraps", loop_first[1:]))
    print(line("after SetRate 2 (3 events)", [e for e in events if e[0] == "rate2"]))
    print(line("after SetRate 0.5 (2 events)", [e for e in events if e[0] == "rate0.5"]))
    timed = [(e[3], e[4]) for e in longs if e[4] is not None]
    seconds = round(longs[-1][3] - longs[0][3]) + 1 if longs else 0
    print(line(f"rate 1 for {seconds} s", longs) + f"; {len(longs)} of {seconds} flashes drawn")
    print(f"  {'steadiness at rate 1':<34} flashes 1 s apart drawn up to "
          f"{steadiness([e[3] for e in longs], [e[2] for e in longs]) * 1000:.1f} ms off 1 s, beeps heard up to "
          f"{steadiness([t for t, _ in heard_long], [c for _, c in heard_long]) * 1000:.1f} ms off")
    if len(timed) >= 8:
        n = max(4, min(30, len(timed) // 4))
        early = statistics.median(v for _, v in timed[:n])
        late = statistics.median(v for _, v in timed[-n:])
        minutes = (timed[-1][0] - timed[0][0]) / 60
        print(f"  {'drift':<34} {(late - early) * 1000:+6.1f} ms over {minutes:.1f} min "
              f"(median of the first {n} events {early * 1000:+.1f} ms, of the last {n} {late * 1000:+.1f} ms)")
    print("  method: picture = wall time a flash frame was first read back from the document window (after")
    print("  every message and every ms); sound = its beep's first sample on the null sink's monitor, dated")
    print("  by the recorder's 10 ms chunk reads within 3 s of it (10th percentile); both CLOCK_REALTIME"
          + (f";\n  the sink rendered {sink_latency[0]:.1f} ms ahead of its clock (median; at most "
             f"{sink_latency[1]:.1f} ms, pactl): the sound side's error." if sink_latency else "."))


def sink_latency_ms(path):
    """The median and the largest sink latency pactl reported during the
    run, in ms."""
    found = [int(m.group(1)) / 1000 for m in re.finditer(r"Latency: (\d+) usec", open(path).read())]
    return (statistics.median(found), max(found)) if found else None


def main(argv):
    if len(argv) == 4 and argv[1] == "--make-movie":
        make_movie(argv[2], int(argv[3]))
        return 0
    if len(argv) not in (4, 5):
        print(__doc__.strip())
        return 2
    seen = flashes(argv[1])
    if not seen:
        print("av_sync: no flash was drawn")
        return 1
    heard = beeps(argv[2], argv[3])
    report(offsets(seen, heard), heard, sink_latency_ms(argv[4]) if len(argv) == 5 else None)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
