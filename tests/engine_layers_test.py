#!/usr/bin/env python3
"""The media engine's folders stand in layers, and includes point down only.

From the top: the call surface (api), the QuickTime-like objects, playback,
then video and audio side by side, the platform glue, and at the bottom the
platform-free container and picture code. A folder may include its own files
and any lower layer's, never a higher layer's nor a neighbour's on the same
layer. The platform-free pieces, which also build natively for the sanitizer
tests and the fuzzer, include nothing that needs Windows.

Usage: engine_layers_test.py [ROOT]   (ROOT defaults to the checkout)
"""
import os
import re
import sys
import tempfile

LAYERS = {
    "api": 6,
    "objects": 5,
    "playback": 4,
    "video": 3,
    "audio": 3,
    "platform": 2,
    "container": 1,
    "picture": 1,
}

# Files outside container/ and picture/ that build natively as well.
PLATFORM_FREE = {
    "video/yuv.h", "video/yuv.cpp", "video/orient.h", "video/orient.cpp",
    "video/sample_times.h", "video/sample_times.cpp", "video/picture_limits.h",
    "playback/clock.h", "playback/clock.cpp", "playback/timeline.h", "playback/timeline.cpp",
    "playback/movie_timeline.h", "playback/movie_timeline.cpp",
    "playback/sound_follow.h", "playback/sound_follow.cpp", "playback/av_sync.h", "playback/av_sync.cpp",
    "audio/time_stretch.h", "audio/time_stretch.cpp", "audio/sound_plan.h",
    "audio/sound_requests.h", "audio/sound_requests.cpp", "audio/source_times.h", "audio/source_times.cpp",
    "audio/device_time.h", "audio/device_time.cpp",
}
PLATFORM_FREE_FOLDERS = {"container", "picture"}
# System headers a platform-free file may not use.
WINDOWS_HEADERS = re.compile(r"^(windows|winbase|mmsystem|mmreg|objbase|mf\w*|d3d\w*|shlwapi)\.h$", re.I)

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCES = (".h", ".cpp", ".c", ".S")


def engine_files(engine):
    for folder, _, names in os.walk(engine):
        for name in names:
            if name.endswith(SOURCES):
                yield os.path.relpath(os.path.join(folder, name), engine).replace(os.sep, "/")


def platform_free(rel):
    return rel.split("/")[0] in PLATFORM_FREE_FOLDERS or rel in PLATFORM_FREE


def violations(root):
    engine = os.path.join(root, "engine")
    found = []
    for rel in sorted(engine_files(engine)):
        parts = rel.split("/")
        if len(parts) == 1:
            found.append(f"{rel}: a source file directly in engine/, in no layer")
            continue
        folder = parts[0]
        if folder not in LAYERS:
            found.append(f"{rel}: folder {folder}/ is in no layer")
            continue
        with open(os.path.join(engine, rel), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for kind, target in INCLUDE.findall(text):
            if kind == "<":
                if platform_free(rel) and WINDOWS_HEADERS.match(os.path.basename(target)):
                    found.append(f"{rel}: platform-free, but includes <{target}>")
                continue
            if not target.startswith("engine/"):
                continue
            to = target[len("engine/"):]
            to_folder = to.split("/")[0] if "/" in to else ""
            if to_folder == folder:
                pass
            elif to_folder not in LAYERS:
                found.append(f"{rel}: includes {target}, which is in no layer")
                continue
            elif LAYERS[to_folder] > LAYERS[folder]:
                found.append(f"{rel}: includes {target}, upward ({folder}/ stands below {to_folder}/)")
            elif LAYERS[to_folder] == LAYERS[folder]:
                found.append(f"{rel}: includes {target}, a neighbour on the same layer")
            if platform_free(rel) and not platform_free(to):
                found.append(f"{rel}: platform-free, but includes {target}, which is not")
    return found


def plant(root, rel, text):
    path = os.path.join(root, "engine", rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def check_the_checker():
    """A tree with one fault of each kind: every fault is reported, and
    nothing else."""
    with tempfile.TemporaryDirectory() as root:
        plant(root, "api/ok.cpp", '#include "engine/objects/a.h"\n#include "engine/container/b.h"\n')
        plant(root, "objects/a.h", "#pragma once\n")
        plant(root, "container/b.h", "#include <stdint.h>\n")
        plant(root, "video/up.cpp", '#include "engine/playback/c.h"\n')
        plant(root, "playback/c.h", "#pragma once\n")
        plant(root, "audio/side.cpp", '#include "engine/video/yuv.h"\n')
        plant(root, "video/yuv.h", "#pragma once\n")
        plant(root, "container/win.cpp", "#include <windows.h>\n")
        plant(root, "playback/clock.cpp", '#include "engine/platform/wall.h"\n')
        plant(root, "platform/wall.h", "#include <windows.h>\n")
        plant(root, "loose.cpp", "\n")
        got = violations(root)
    expected = [
        "audio/side.cpp: includes engine/video/yuv.h, a neighbour on the same layer",
        "container/win.cpp: platform-free, but includes <windows.h>",
        "loose.cpp: a source file directly in engine/, in no layer",
        "playback/clock.cpp: platform-free, but includes engine/platform/wall.h, which is not",
        "video/up.cpp: includes engine/playback/c.h, upward (video/ stands below playback/)",
    ]
    if sorted(got) != expected:
        print("the layer check itself is wrong; on a planted tree it said:")
        for line in got:
            print("  " + line)
        return False
    return True


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    ok = check_the_checker()
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) break the engine's layers")
    return 0 if ok and not found else 1


if __name__ == "__main__":
    sys.exit(main())
