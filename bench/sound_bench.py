#!/usr/bin/env python3
"""The sound benchmark's figures: for each scenario sound_bench.exe played,
the engine's count of times the device ran dry, set beside what the null
sink's monitor heard of it: the dropouts inside its tone and its length.

  sound_bench.py --make-media FOLDER       the tones and the movie (ffmpeg)
  sound_bench.py PLAYED RAW MACHINE_KIND
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import sound_analysis as sa  # noqa: E402

RATE = 44100


def make_media(folder):
    def tone(hz, seconds):
        return ["-f", "lavfi", "-i", f"sine=frequency={hz}:sample_rate={RATE}:duration={seconds}"]

    files = {
        "tone-700.wav": tone(700, 8) + ["-c:a", "pcm_s16le"],
        "tone-900.wav": tone(900, 4) + ["-c:a", "pcm_s16le"],
        "tone-1100.wav": tone(1100, 16) + ["-c:a", "pcm_s16le"],
        "tone-1300.wav": tone(1300, 2) + ["-c:a", "pcm_s16le"],
        # Picture decoded beside the sound: 640x360 H.264 with grain, AAC.
        "movie-1500.mp4": ["-f", "lavfi", "-i", "testsrc2=size=640x360:rate=30,noise=alls=8:allf=t"] +
                          tone(1500, 8) + ["-t", "8", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt",
                                           "yuv420p", "-c:a", "aac", "-b:a", "128k"],
    }
    for name, args in files.items():
        out = os.path.join(folder, name)
        if not os.path.exists(out):
            subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y"] + args + [out + ".part." +
                            name.rsplit(".", 1)[1]], check=True)
            os.rename(out + ".part." + name.rsplit(".", 1)[1], out)


def played(path):
    out = []
    for line in open(path):
        m = re.match(r"scenario (\S+) (\d+) ([\d.]+) starts (\d+) blocks (\d+) underruns (\d+) deepest (\d+)$",
                     line.strip())
        if m:
            out.append((m.group(1), int(m.group(2)), float(m.group(3))) + tuple(int(g) for g in m.groups()[3:]))
    return out


def main(argv):
    if len(argv) == 3 and argv[1] == "--make-media":
        make_media(argv[2])
        return 0
    if len(argv) != 4:
        print(__doc__.strip())
        return 2
    scenarios = played(argv[1])
    rec = sa.Recording.from_raw(argv[2], RATE, 1)
    spans = rec.spans(0.3)
    _, drops = rec.without_dropouts(0.3)
    kind = {"native": "natively", "emulated": "emulated"}.get(argv[3], argv[3])
    print(f"sound: underruns per scenario (32-bit code ran {kind}); goal 0 dropouts heard")
    print(f"  {'scenario':<14} {'device ran dry':>15} {'queue up to':>12} {'dropouts heard':>15} "
          f"{'longest':>8} {'heard':>16}")
    for name, hz, seconds, starts, blocks, underruns, deepest in scenarios:
        mine = [s for s in spans if abs((rec.frequency(*s) or 0) / hz - 1) < 0.05]
        if not mine:
            print(f"  {name:<14} {underruns:>15} {deepest:>9} ms {'nothing heard':>15}")
            continue
        a, b = min(mine, key=lambda s: s[0])[0], max(mine, key=lambda s: s[1])[1]
        gaps = sorted((g for g in drops if rec.seconds(a) <= g[0] <= rec.seconds(b)), key=lambda g: -g[1])
        longest = f"{gaps[0][1] * 1000:.1f} ms" if gaps else "-"
        heard = rec.seconds(b - a)
        print(f"  {name:<14} {underruns:>15} {deepest:>9} ms {len(gaps):>15} {longest:>8} "
              f"{heard:>6.3f} of {seconds:.3f} s")
    print("  device ran dry: the engine's count of blocks queued after the device had played all it had;")
    print("  dropouts heard: runs of 16 or more zero samples inside the scenario's tone on the null sink's monitor")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
