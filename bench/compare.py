#!/usr/bin/python3
"""End-to-end comparison, headless: the tool against the floor (ffmpeg decoding the same input
and encoding MP42 alone) and the peer (bench/peer.py, the same per-frame work in OpenCV-Python).

Runs are interleaved: every round runs each contender once per size, in a rotating order, so
that the noise of a shared machine falls on all of them alike. Prints medians and minimums of
the whole-process wall time, and the ratios.

    compare.py [--build DIR] [--rounds N] [--sizes 640x480,...] [--frames N] [--smoke]
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
AREA_SIZE = "100"
SKIP_RATE = "1"
FPS = "25"
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402  (the test suite's environments and paths)

SNAPSHOT_DIR = os.path.dirname(harness.SNAPSHOT)
# Frames per size: about the same number of pixels for each, a few seconds per run.
DEFAULT_FRAMES = {"640x480": 250, "1280x720": 120, "1920x1080": 60, "3840x2160": 16}


def timed_run(argv, cwd):
    """Runs argv to its end; returns (wall seconds, user+sys CPU seconds)."""
    start = time.monotonic()
    process = subprocess.Popen(argv, cwd=cwd, env=harness.headless_env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    stderr = process.stderr.read()
    process.stderr.close()
    if process.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (argv[0], process.returncode, stderr[-500:]))
    return wall, usage.ru_utime + usage.ru_stime


def contenders(build, video, work):
    def out(name):
        return os.path.join(work, "%s.avi" % name)
    return {
        "tool": [os.path.join(build, "shapemark"), video, out("tool"), AREA_SIZE, SKIP_RATE],
        "floor": ["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", video, "-c:v", "msmpeg4v2",
                  "-f", "avi", out("floor")],
        "peer": [sys.executable, os.path.join(HERE, "peer.py"), video, out("peer"), AREA_SIZE,
                 os.path.join(work, "peer.png")],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sizes", default=",".join(DEFAULT_FRAMES))
    parser.add_argument("--frames", type=int, help="frames per video (default: by size)")
    parser.add_argument("--smoke", action="store_true",
                        help="one round over a tiny video: proves the script works")
    args = parser.parse_args()
    if args.smoke:
        args.sizes, args.frames, args.rounds = "320x240", 10, 1
    args.build = os.path.abspath(args.build)
    sizes = args.sizes.split(",")
    names = ["tool", "floor", "peer"]
    with tempfile.TemporaryDirectory(prefix="shapemark-compare-") as work:
        os.makedirs(os.path.join(work, SNAPSHOT_DIR))
        videos, frames = {}, {}
        for size in sizes:
            frames[size] = args.frames or DEFAULT_FRAMES.get(size, 100)
            videos[size] = os.path.join(work, "input_%s.avi" % size)
            subprocess.run([os.path.join(args.build, "make_test_video"), videos[size],
                            "--frames", str(frames[size]), "--fps", FPS, "--size", size,
                            "--scene", "sample"], check=True)
        wall = {(s, n): [] for s in sizes for n in names}
        cpu = {(s, n): [] for s in sizes for n in names}
        snapshots_match = {}
        for r in range(args.rounds):
            for size in sizes:
                runs = contenders(args.build, videos[size], work)
                order = names[r % 3:] + names[:r % 3]
                for name in order:
                    w, c = timed_run(runs[name], work)
                    wall[(size, name)].append(w)
                    cpu[(size, name)].append(c)
                # Same last frame, same work: the two snapshots must be the same bytes.
                snapshots_match[size] = filecmp.cmp(os.path.join(work, SNAPSHOT_DIR, "cage3.png"),
                                                    os.path.join(work, "peer.png"), shallow=False)
        print("rounds: %d, interleaved; wall = whole-process wall time; cpu = user+sys" % args.rounds)
        print("| size | frames | tool fps | floor fps | peer fps | tool/peer wall (median, min) "
              "| tool/floor wall (median) | tool/peer cpu (median) | snapshots identical |")
        print("|---|---|---|---|---|---|---|---|---|")
        for size in sizes:
            med = {n: statistics.median(wall[(size, n)]) for n in names}
            low = {n: min(wall[(size, n)]) for n in names}
            cmed = {n: statistics.median(cpu[(size, n)]) for n in names}
            print("| %s | %d | %.1f | %.1f | %.1f | %.2f, %.2f | %.2f | %.2f | %s |" % (
                size, frames[size], frames[size] / med["tool"], frames[size] / med["floor"],
                frames[size] / med["peer"], med["tool"] / med["peer"], low["tool"] / low["peer"],
                med["tool"] / med["floor"], cmed["tool"] / cmed["peer"],
                "yes" if snapshots_match[size] else "NO"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
