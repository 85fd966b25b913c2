#!/usr/bin/env python3
"""The listening tests' judges, fed recordings built from ffmpeg's own decode
of their files: what a faultless player would let the sink hear passes every
check, and each fault a player could make fails the check meant for it.
Natively, no Wine.

  sound_analysis_test.py MEDIA_DIR
"""
import array
import io
import os
import subprocess
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sound_analysis as sa  # noqa: E402
import sound_listen as sl  # noqa: E402

RATE = sl.RATE
media = sys.argv[1] if len(sys.argv) > 1 else "."


def decode(name, start=0.0, end=None, gain=1.0):
    """The file's sound from start to end as the sink would take it: 44.1 kHz
    stereo, bytes of 16-bit frames."""
    args = ["ffmpeg", "-nostdin", "-loglevel", "error", "-ss", str(start)]
    if end is not None:
        args += ["-to", str(end)]
    args += ["-i", os.path.join(media, name), "-vn", "-af", f"volume={gain}", "-f", "s16le", "-ar", str(RATE),
             "-ac", "2", "-"]
    return subprocess.run(args, capture_output=True, check=True).stdout


def silence(seconds):
    return bytes(4 * int(seconds * RATE))


def swapped(frames):
    x = array.array("h", frames)
    x[0::2], x[1::2] = x[1::2], x[0::2]
    return x.tobytes()


def judged(group, parts, times=()):
    """Every check's (name, passed) for a recording made of parts."""
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join([silence(0.5)] + list(parts) + [silence(0.5)]))
    out.seek(0)
    _, judge = sl.GROUPS[group]()
    results = []

    class Collect(sl.Verdict):
        def check(self, name, ok, detail):
            results.append((name, bool(ok), detail))

        def note(self, text):
            pass

    heard = sl.Heard(sa.Recording.from_wav(out))
    judge(Collect(group), heard, [("Vantoro-GetTime", "", t) for t in times])
    return results


failures = 0


def expect(what, results, failing=()):
    """All checks pass but those named in failing, which must fail."""
    global failures
    for name, ok, detail in results:
        want = not any(f in name for f in failing)
        if ok != want:
            failures += 1
            print(f"FAIL {what}: {name} {'failed' if want else 'passed'}: {detail}")
    for f in failing:
        if not any(f in name for name, _, _ in results):
            failures += 1
            print(f"FAIL {what}: no check named {f}")


def dropout(frames, at, seconds=0.12, dropped=False):
    """A sink whose client fell behind: silence, then the sound goes on where
    it was, or (dropped) where it would have been by then. `at` in seconds
    into the part."""
    cut = 4 * int(at * RATE)
    gap = silence(seconds)
    return frames[:cut] + gap + frames[cut + (len(gap) if dropped else 0):]


def start(lost=0.0, drop=None):
    first = decode("start.wav", lost)
    return [dropout(first, drop) if drop is not None else first, silence(0.8), decode("start-late.wav", 1.0),
            silence(0.7), decode("start.mov")]


expect("start", judged("start", start()))
expect("start, 30 ms lost", judged("start", start(lost=0.03)), ["wav first 100 ms"])
# Dropouts, in the marker and later: what was sent is judged, not the sink's stall.
expect("start, dropout in the marker", judged("start", start(drop=0.05)))
expect("start, dropout in the tone", judged("start", start(drop=1.2)))
expect("start, 30 ms lost and a dropout", judged("start", start(lost=0.03, drop=1.2)), ["wav first 100 ms"])


def stop(run_on=0.0, close_run_on=0.0):
    return [decode("sweep.wav", 0, 1.5 + run_on), silence(0.8), decode("sweep.wav", 2.0, 3.0 + close_run_on),
            silence(0.7), decode("sweep.wav", 3.0, 3.8)]


def clicked(frames, at, seconds=0.005):
    """A dropout whose sound the sink's client dropped, and a click of
    noise where it was cut out, as Wine's mixer leaves one: a window of
    the sweep reads as the wrong time."""
    cut = 4 * int(at * RATE)
    noise = array.array("h", [(-1) ** k * ((k * 7919) % 20000) for k in range(2 * int(0.006 * RATE))]).tobytes()
    return frames[:cut] + silence(seconds) + noise + frames[cut + 4 * int(seconds * RATE) + len(noise):]


times = ["00:00:01.50", "00:00:03.00"]
expect("stop", judged("stop", stop(), times))
expect("stop, a click where a dropout was cut out",
       judged("stop", [clicked(stop()[0], 0.23)] + stop()[1:], times))
expect("stop, 100 ms after Stop", judged("stop", stop(run_on=0.1), times), ["Stop heard length", "after Stop"])
# Closing the window does not stop it: it runs on into the next case.
expect("close, played on", judged("stop", [decode("sweep.wav", 0, 1.5), silence(0.8), decode("sweep.wav", 2.0, 4.0),
                                           decode("sweep.wav", 3.0, 3.8)], times),
       ["close heard length", "after close"])


def rate(r05_seconds=2.0, r2_hz_file="rate-r2.wav", silent_case=None, drop=None, dropped=False):
    r05 = decode("rate-r05.wav", 0, r05_seconds)
    parts = [dropout(r05, drop, dropped=dropped) if drop is not None else r05, silence(0.6), decode(r2_hz_file, 0, 1.5), silence(0.6),
             decode("rate-set2.wav", 0, 1.0 + 1.0), silence(0.6), decode("rate-set05.wav", 0, 0.5 + 1.0)]
    if silent_case:
        parts += [silence(0.6), decode(silent_case, 0, 1.0)]
    return parts


rate_times = ["00:00:01.00", "00:00:02.50"]
expect("rate", judged("rate", rate(), rate_times))
expect("rate 0.5, 10 % short", judged("rate", rate(r05_seconds=1.8), rate_times), ["rate 0.5 length"])
expect("rate 0.5, a dropout", judged("rate", rate(drop=0.9), rate_times))
expect("rate 0.5, a dropout whose sound the sink's client dropped", judged("rate", rate(drop=0.9, dropped=True),
                                                                          rate_times))
expect("rate 0.5, 10 % short and a dropout", judged("rate", rate(r05_seconds=1.8, drop=0.9), rate_times),
       ["rate 0.5 length"])
expect("rate 2, pitch not kept", judged("rate", rate(r2_hz_file="rate-back.wav"), rate_times),
       ["rate 2 heard", "rate -1 silent"])
expect("rate 3, heard", judged("rate", rate(silent_case="rate-r3.wav"), rate_times), ["rate 3 silent"])


def volume(half=0.5, zero=0.0):
    step = 0.7
    return [decode("volume.wav", 0, step), decode("volume.wav", step, 2 * step, half),
            decode("volume.wav", 2 * step, 3 * step, 0.25), decode("volume.wav", 3 * step, 4 * step, zero),
            decode("volume.wav", 4 * step, 4.5 * step)]


expect("volume", judged("volume", volume()))
expect("volume 128 at -3 dB", judged("volume", volume(half=0.707)), ["volume 128"])
expect("volume 0 heard", judged("volume", volume(zero=0.1)), ["volume 0 silent", "levels"])


def loop(gap=0.0, drop=None, lost=0.0):
    lap = decode("sweep.wav", 1.0, 2.0)
    second = decode("sweep.wav", 1.0 + lost, 2.0)
    return [lap, silence(gap), dropout(second, drop) if drop is not None else second, lap,
            decode("sweep.wav", 1.0, 1.5)]


expect("loop", judged("loop", loop()))
expect("loop, 80 ms gap at a wrap", judged("loop", loop(gap=0.08)), ["no silence at a wrap"])
expect("loop, a dropout inside a lap", judged("loop", loop(drop=0.5)))
expect("loop, 80 ms lost at a wrap", judged("loop", loop(lost=0.08)), ["wrap 1"])


def formats(skip=None, swap=None):
    parts = []
    for name, *_ in sl.FORMATS:
        if name != skip:
            sound = decode("format-" + name)
            parts += [swapped(sound) if name == swap else sound, silence(0.6)]
    return parts


expect("formats", judged("formats", formats()))
expect("formats, mp3 silent, channels swapped", judged("formats", formats(skip="mp3.mp3", swap="sowt.mov")),
       ["mp3.mp3", "sowt.mov"])

print(f"sound_analysis_test: {'all judged as they should be' if not failures else f'{failures} wrong'}")
sys.exit(1 if failures else 0)
