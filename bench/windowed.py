#!/usr/bin/python3
"""Windowed pace: the tool under a private Xvfb against the same run headless.

The time per processed frame is taken as the difference between a run of 2N frames and a run
of N frames, divided by N, so that start-up and shutdown cancel out. Windowed, the tool waits
after a processed frame only for what remains of the frame period, so when the work and the
windows fit in a period the shows are one period apart: windowed time per frame ÷ period is 1,
and above 1 by what they overrun. Headless runs do not wait: their time per frame is the work
alone. Runs are interleaved.

    windowed.py [--build DIR] [--sizes 640x480,...] [--fps 25] [--frames N] [--rounds R] [--smoke]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402  (the test suite's private displays)

SNAPSHOT_DIR = os.path.dirname(harness.SNAPSHOT)


def run(build, video, work, env):
    start = time.monotonic()
    subprocess.run([os.path.join(build, "shapemark"), video, os.path.join(work, "out.avi"),
                    "100", "1"], cwd=work, env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=600)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--sizes", default="640x480,1280x720,1920x1080")
    parser.add_argument("--fps", type=int, default=25)
    parser.add_argument("--frames", type=int, default=40, help="N: the short run's frames")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--smoke", action="store_true",
                        help="one round over tiny videos: proves the script works")
    args = parser.parse_args()
    if args.smoke:
        args.sizes, args.frames, args.rounds = "320x240", 5, 1
    build = os.path.abspath(args.build)
    sizes = args.sizes.split(",")
    period = 1000.0 / args.fps
    # The screen has room for a 3840x2160 window.
    with harness.private_display("3840x2400x24") as windowed_env, \
            tempfile.TemporaryDirectory(prefix="shapemark-windowed-") as work:
        os.makedirs(os.path.join(work, SNAPSHOT_DIR))
        videos = {}
        for size in sizes:
            for n in (args.frames, 2 * args.frames):
                path = os.path.join(work, "in_%s_%d.avi" % (size, n))
                subprocess.run([os.path.join(build, "make_test_video"), path, "--frames",
                                str(n), "--fps", str(args.fps), "--size", size, "--scene",
                                "sample"], check=True)
                videos[(size, n)] = path
        per_frame = {}
        modes = {"headless": harness.headless_env(), "windowed": windowed_env}
        for r in range(args.rounds):
            for size in sizes:
                for mode in (list(modes) if r % 2 == 0 else list(modes)[::-1]):
                    short = run(build, videos[(size, args.frames)], work, modes[mode])
                    long_ = run(build, videos[(size, 2 * args.frames)], work, modes[mode])
                    per_frame.setdefault((size, mode), []).append(
                        1000.0 * (long_ - short) / args.frames)
    print("fps tag %d: frame period %.1f ms; N = %d; %d rounds, medians; target: windowed "
          "per frame ÷ period <= 1.05"
          % (args.fps, period, args.frames, args.rounds))
    print("| size | windowed per frame ÷ period | windowed per frame (ms) "
          "| headless per frame (ms) | headless per frame ÷ period |")
    print("|---|---|---|---|---|")
    for size in sizes:
        headless = statistics.median(per_frame[(size, "headless")])
        windowed = statistics.median(per_frame[(size, "windowed")])
        print("| %s | %.3f | %.1f | %.1f | %.2f |" % (size, windowed / period, windowed, headless,
                                                     headless / period))
    return 0


if __name__ == "__main__":
    sys.exit(main())
