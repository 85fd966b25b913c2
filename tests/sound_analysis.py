"""Measurements of what was heard: a recording of the sound server's null
sink, read as samples and judged by what a listener would notice: where the
sound starts and stops, its pitch, its level, its gaps. Plain Python, no
numpy: recordings are a few seconds long, and the benchmark's long one is
scanned block by block with the array module's own slicing.

Times are in seconds from the recording's first sample unless said
otherwise; levels in dB relative to full scale (dBFS).
"""
import array
import math
import re
import sys
import wave

# A sample counts as sound above this (about -40 dBFS); the quietest case,
# volume 64 on a tone at half scale, peaks near 4100.
LOUD = 300
BLOCK = 0.005  # seconds: the step of every search for sound or silence


class Recording:
    def __init__(self, rate, channels):
        self.splices = []  # (sample, seconds) of dropouts cut out just before that sample
        self.rate = rate
        self.channels = channels  # one array of int16 per channel
        self.left = channels[0]

    @staticmethod
    def from_wav(path):
        with wave.open(path) as w:
            if w.getsampwidth() != 2:
                raise ValueError(f"{path}: not 16-bit")
            n, rate, frames = w.getnchannels(), w.getframerate(), w.readframes(w.getnframes())
        samples = array.array("h", frames)
        if sys.byteorder != "little":
            samples.byteswap()
        return Recording(rate, [samples[c::n] for c in range(n)])

    @staticmethod
    def from_raw(path, rate, channels):
        """Interleaved signed 16-bit little-endian samples, as the recorder
        writes them."""
        samples = array.array("h")
        with open(path, "rb") as f:
            data = f.read()
        samples.frombytes(data[:len(data) // (2 * channels) * 2 * channels])
        if sys.byteorder != "little":
            samples.byteswap()
        return Recording(rate, [samples[c::channels] for c in range(channels)])

    def save_wav(self, path):
        both = array.array("h", bytes(2 * len(self.left) * len(self.channels)))
        for c, x in enumerate(self.channels):
            both[c::len(self.channels)] = x
        if sys.byteorder != "little":
            both.byteswap()
        with wave.open(path, "wb") as w:
            w.setnchannels(len(self.channels))
            w.setsampwidth(2)
            w.setframerate(self.rate)
            w.writeframes(both.tobytes())

    def seconds(self, sample):
        return sample / self.rate

    def at(self, seconds):
        return int(round(seconds * self.rate))

    def loud_blocks(self, channel=None):
        x = self.left if channel is None else channel
        step = max(1, int(self.rate * BLOCK))
        return step, [max(max(x[i:i + step]), -min(x[i:i + step])) > LOUD for i in range(0, len(x), step)]

    def spans(self, min_gap=0.3):
        """Stretches of sound separated by at least min_gap seconds of
        silence, as (first, last) loud samples."""
        step, loud = self.loud_blocks()
        out = []
        gap_blocks = int(min_gap / BLOCK)
        start = last = None
        for b, is_loud in enumerate(loud):
            if not is_loud:
                continue
            if start is not None and b - last > gap_blocks:
                out.append((start, last))
                start = None
            if start is None:
                start = b
            last = b
        if start is not None:
            out.append((start, last))
        return [(self._first_loud(a * step, (a + 1) * step), self._last_loud(b * step, (b + 1) * step))
                for a, b in out]

    def _first_loud(self, a, b):
        for i in range(a, min(b, len(self.left))):
            if abs(self.left[i]) > LOUD:
                return i
        return a

    def _last_loud(self, a, b):
        for i in range(min(b, len(self.left)) - 1, a - 1, -1):
            if abs(self.left[i]) > LOUD:
                return i
        return a

    def gaps(self, first, last):
        """Silent stretches between two samples, as (start, seconds), longest first."""
        step = max(1, int(self.rate * BLOCK))
        x = self.left
        out, run = [], None
        for i in range(first, last, step):
            quiet = max(max(x[i:i + step]), -min(x[i:i + step])) <= LOUD
            if quiet and run is None:
                run = i
            elif not quiet and run is not None:
                out.append((run, (i - run) / self.rate))
                run = None
        return sorted(out, key=lambda g: -g[1])

    def without_dropouts(self, min_gap=0.3, shortest=16):
        """The recording with the dropouts inside each stretch of sound cut
        out, and those dropouts as (start, seconds), in order. A sink whose
        client fell behind plays digital silence, from a few samples to a
        tenth of a second, and then goes on where it was: cut out, what
        remains is what the player sent, and its lengths and pitch can be
        judged on their own. A run of `shortest` zero samples is one: a tone
        loud enough to be heard crosses zero in a sample or two."""
        data = self.left.tobytes()
        zero = b"\x00\x00"
        cuts = []
        for a, b in self.spans(min_gap):
            for m in re.finditer(b"(?:" + re.escape(zero) + b"){%d,}" % shortest, data[2 * a:2 * (b + 1)]):
                start, end = (m.start() + 1) // 2, m.end() // 2
                if end - start >= shortest:
                    cuts.append((a + start, a + end))
        if not cuts:
            return self, []
        keep = [array.array("h") for _ in self.channels]
        at = 0
        for start, end in cuts:
            for k, c in zip(keep, self.channels):
                k.extend(c[at:start])
            at = end
        for k, c in zip(keep, self.channels):
            k.extend(c[at:])
        spliced = Recording(self.rate, keep)
        # Where each cut lies in what is left, in samples.
        removed, where = 0, []
        for a, b in cuts:
            where.append(a - removed)
            removed += b - a
        spliced.splices = [(w, self.seconds(b - a)) for w, (a, b) in zip(where, cuts)]
        return spliced, [(self.seconds(a), self.seconds(b - a)) for a, b in cuts]

    def crossings(self, first, last, channel=None):
        """Rising zero crossings between two samples, in fractional samples."""
        x = self.left if channel is None else channel
        out = []
        for i in range(max(first, 0), min(last, len(x) - 1)):
            a, b = x[i], x[i + 1]
            if a < 0 <= b:
                out.append(i + a / (a - b))
        return out

    def frequency(self, first, last, channel=None):
        """The average frequency between two samples, from its zero
        crossings; None where there are fewer than two."""
        c = self.crossings(first, last, channel)
        if len(c) < 2 or c[-1] == c[0]:
            return None
        return (len(c) - 1) * self.rate / (c[-1] - c[0])

    def frequencies(self, first, last, window):
        """(centre time, frequency) of successive windows of `window` seconds."""
        n = max(1, int(window * self.rate))
        return [((i + n / 2) / self.rate, self.frequency(i, i + n)) for i in range(first, last - n + 1, n)]

    def clicks(self, first, last, hz):
        """Steps between neighbouring samples steeper than a sine of this
        pitch and the stretch's peak could make: what a listener hears as
        a click. Answers their count and the steepest, as a multiple of
        the sine's own steepest step."""
        x = self.left
        peak = max(max(x[first:last]), -min(x[first:last]))
        limit = 2 * math.pi * hz / self.rate * peak
        steps = [abs(x[i + 1] - x[i]) for i in range(first, last - 1)]
        count = sum(1 for s in steps if s > 1.5 * limit)
        return count, (max(steps) / limit if steps and limit else 0)

    def rms_db(self, first, last, channel=None):
        x = (self.left if channel is None else channel)[first:last]
        if not x:
            return -math.inf
        power = sum(s * s for s in x) / len(x)
        return 10 * math.log10(power / 32768.0 ** 2) if power > 0 else -math.inf

    def onsets(self, quiet_before=0.3):
        """Samples where sound begins after at least quiet_before seconds of
        silence: the beeps of the benchmark."""
        step, loud = self.loud_blocks()
        need = int(quiet_before / BLOCK)
        out, quiet = [], need
        for b, is_loud in enumerate(loud):
            if is_loud and quiet >= need:
                out.append(self._first_loud(b * step, (b + 1) * step))
            quiet = 0 if is_loud else quiet + 1
        return out


class RecordingClock:
    """The wall time (CLOCK_REALTIME, seconds) at which a recorded sample was
    heard, from the recorder's log of chunk read times. A read comes at or
    after its chunk's last sample was there, later by scheduling, earlier
    only where the sink sends a burst rendered ahead (as it may at first);
    and the sink's sample clock need not run at the wall clock's rate. So
    each sample is dated by the reads within a few seconds of it: their
    tenth percentile of read time less samples read."""

    def __init__(self, log_path, rate, window=3.0):
        self.rate = rate
        buckets = {}
        with open(log_path) as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2:
                    frames = int(parts[0])
                    buckets.setdefault(frames // rate, []).append(float(parts[1]) - frames / rate)
        self.starts = {}
        span = int(window)
        for k in buckets:
            near = sorted(v for j in range(k - span, k + span + 1) for v in buckets.get(j, []))
            self.starts[k] = near[len(near) // 10]
        if not self.starts:
            raise ValueError(f"{log_path}: the recorder logged nothing")

    def wall(self, sample):
        k = min(self.starts, key=lambda j: abs(j - sample // self.rate))
        return self.starts[k] + sample / self.rate


def last_read_time(log_path):
    """The wall time of the recorder's last logged read, or 0."""
    try:
        with open(log_path, "rb") as f:
            f.seek(max(0, f.seek(0, 2) - 200))
            lines = f.read().decode(errors="replace").splitlines()
        return float(lines[-1].split()[1]) if len(lines) >= 2 else 0.0
    except (OSError, IndexError, ValueError):
        return 0.0


def sweep_position(frequency, start_hz, hz_per_second):
    """The time within a linear sweep at which it has this frequency."""
    return (frequency - start_hz) / hz_per_second


def sweep_positions(rec, first, last, start_hz, hz_per_second, window=0.02):
    """(recording time, sweep time) along a stretch of a heard sweep."""
    return [(t, sweep_position(f, start_hz, hz_per_second))
            for t, f in rec.frequencies(first, last, window) if f]


def heard_sweep_ends(rec, first, last, start_hz, hz_per_second, window=0.02):
    """The sweep times heard first and last in a stretch: each from the
    window at that end, moved by half a window to the stretch's edge."""
    n = int(window * rec.rate)
    head = rec.frequency(first, first + n)
    tail = rec.frequency(last - n, last)
    if not head or not tail:
        return None, None
    half = window / 2
    return (sweep_position(head, start_hz, hz_per_second) - half,
            sweep_position(tail, start_hz, hz_per_second) + half)


def sweep_pieces(rec, first, last, start_hz, hz_per_second, rate=1.0, window=0.01):
    """A stretch of a heard sweep cut where the sweep's time jumps (a case
    that ran on into the next, a loop's wrap): (first sample, last sample,
    first sweep time, last sweep time) of each piece. Edges inside the
    stretch are good to a window; the stretch's own edges to the sample."""
    found = sweep_positions(rec, first, last, start_hz, hz_per_second, window)

    def carries_on(run, t, pos):
        return abs((pos - run[-1][1]) - (t - run[-1][0]) * rate) <= 3 * window

    runs, run = [], []
    for k, (t, pos) in enumerate(found):
        if run and not carries_on(run, t, pos):
            # One window read wrongly (the click where a dropout was cut
            # out) does not cut the sweep: the window after it carries on.
            if k + 1 < len(found) and carries_on(run, *found[k + 1]):
                continue
            runs.append(run)
            run = []
        run.append((t, pos))
    if run:
        runs.append(run)
    half = window / 2
    pieces = []
    for k, run in enumerate(runs):
        if len(run) < 3:  # a window across a jump
            continue
        a = first if k == 0 else rec.at(run[0][0] - half)
        b = last if k == len(runs) - 1 else rec.at(run[-1][0] + half)
        # The ends' times, moved from the windows' centres to the edges.
        head = run[0][1] - (rec.seconds(rec.at(run[0][0])) - rec.seconds(a)) * rate
        tail = run[-1][1] + (rec.seconds(b) - run[-1][0]) * rate
        pieces.append((a, b, head, tail))
    return pieces


def time_code_seconds(text, frames_per_second=100):
    """HH:MM:SS.FF as the plug-in answers it; for a sound file FF counts
    hundredths."""
    text = text.strip().strip('"')
    hms, _, frames = text.rpartition(".")
    h, m, s = (int(v) for v in hms.split(":"))
    return h * 3600 + m * 60 + s + int(frames) / frames_per_second


def ms(seconds):
    return f"{seconds * 1000:+.0f} ms"


if __name__ == "__main__":
    # What a recording holds, in a few words: sound_analysis.py FILE.wav
    heard = Recording.from_wav(sys.argv[1])
    spans = heard.spans()
    total = sum(b - a + 1 for a, b in spans) / heard.rate
    print(f"{total:.1f} s of sound in {len(spans)} stretches" if spans else "silent")
