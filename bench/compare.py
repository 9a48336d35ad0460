#!/usr/bin/python3
"""End-to-end comparison, headless: the tool against the floor (ffmpeg decoding the same input
and encoding MP42 alone), the peer (bench/peer.py, the same per-frame work in OpenCV-Python)
and the careful peer (bench/peer_threaded.py, the same again with its outputs on threads).

Runs are interleaved: every round runs each contender once per input, in a rotating order, so
that the noise of a shared machine falls on all of them alike. Prints medians and minimums of
the whole-process wall time, and the ratios. --log-cost instead times the tool without and with
its detection log, and --at-end-cost with --no-snapshot and with --snapshot-at-end, interleaved
the same way. Inputs are generated sample scenes (--sizes), or real videos (--footage).

    compare.py [--build DIR] [--rounds N] [--sizes 640x480,...] [--frames N]
               [--footage VIDEO,...] [--against DIR] [--tool-args "WORDS"]
               [--log-cost | --at-end-cost] [--smoke]
"""
import argparse
import os
import shlex
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
import cv2  # noqa: E402
import harness  # noqa: E402  (the test suite's environments and paths)

# Real camera footage from Debian's opencv-doc: a 768x576 street scene, 795 frames.
FOOTAGE = "/usr/share/doc/opencv-doc/examples/data/vtest.avi"

# Frames per size: about the same number of pixels for each, a few seconds per run.
DEFAULT_FRAMES = {"640x480": 250, "1280x720": 120, "1920x1080": 60, "3840x2160": 16}
CONTENDERS = ["tool", "floor", "peer", "careful"]


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
        raise RuntimeError("%s failed (%d): %s" % (" ".join(argv), process.returncode,
                                                   stderr[-500:].decode(errors="replace")))
    return wall, usage.ru_utime + usage.ru_stime


def tool(build, video, work, name, extra):
    return ([os.path.join(build, "shapemark")] + extra
            + [video, os.path.join(work, name + ".avi"), AREA_SIZE, SKIP_RATE])


def peer(script, video, work, name):
    return [sys.executable, os.path.join(HERE, script), video, os.path.join(work, name + ".avi"),
            AREA_SIZE, os.path.join(work, name + ".png")]


def contenders(build, video, work, tool_args, against=None):
    runs = {
        "tool": tool(build, video, work, "tool", tool_args),
        "floor": ["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", video, "-c:v", "msmpeg4v2",
                  "-f", "avi", os.path.join(work, "floor.avi")],
        "peer": peer("peer.py", video, work, "peer"),
        "careful": peer("peer_threaded.py", video, work, "careful"),
    }
    if against:
        runs["before"] = tool(against, video, work, "before", tool_args)
    return runs


def log_cost_runs(build, video, work, tool_args):
    log = os.path.join(work, "log.csv")
    return {"without": tool(build, video, work, "without", tool_args),
            "with": tool(build, video, work, "with", ["--detections", log] + tool_args)}


def at_end_cost_runs(build, video, work, tool_args):
    return {"without": tool(build, video, work, "without", ["--no-snapshot"] + tool_args),
            "with": tool(build, video, work, "with", ["--snapshot-at-end"] + tool_args)}


def same_pixels(a, b):
    first, second = cv2.imread(a, cv2.IMREAD_UNCHANGED), cv2.imread(b, cv2.IMREAD_UNCHANGED)
    return first is not None and second is not None and (first.shape == second.shape
                                                          and (first == second).all())


def interleave(rounds, sizes, names, runs_for, work, after_round=None):
    """Runs every contender once per size and round, rotating the order; returns
    {(size, name): [(wall, cpu), ...]}."""
    times = {(s, n): [] for s in sizes for n in names}
    for r in range(rounds):
        for size in sizes:
            runs = runs_for(size)
            turn = r % len(names)
            for name in names[turn:] + names[:turn]:
                times[(size, name)].append(timed_run(runs[name], work))
            if after_round:
                after_round(size)
    return times


def median_wall(times, size, name):
    return statistics.median(w for w, _ in times[(size, name)])


def report_contenders(times, sizes, frames, matches, rounds, names=CONTENDERS):
    print("rounds: %d, interleaved; wall = whole-process wall time; cpu = user+sys of the "
          "process, all its threads; ratios of medians unless said" % rounds)
    print("| size | frames | tool fps | tool/peer wall (median, min) | tool/careful wall (median) "
          "| tool/floor wall (median) | careful/peer wall (median) "
          "| tool cpu ÷ wall (median of runs) | tool wall ÷ cpu (median of runs) "
          "| snapshots' pixels identical (peer, careful) | tool/peer cpu (median) "
          "| tool/before wall (median) |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    for size in sizes:
        med = {n: median_wall(times, size, n) for n in names}
        low = {n: min(w for w, _ in times[(size, n)]) for n in names}
        cpu = {n: statistics.median(c for _, c in times[(size, n)]) for n in names}
        tool_runs = times[(size, "tool")]
        print("| %s | %d | %.1f | %.2f, %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %s | %.2f | %s |"
              % (size, frames[size], frames[size] / med["tool"], med["tool"] / med["peer"],
                 low["tool"] / low["peer"], med["tool"] / med["careful"],
                 med["tool"] / med["floor"], med["careful"] / med["peer"],
                 statistics.median(c / w for w, c in tool_runs),
                 statistics.median(w / c for w, c in tool_runs),
                 ", ".join("yes" if matches[(size, n)] else "NO" for n in ("peer", "careful")),
                 cpu["tool"] / cpu["peer"],
                 "%.2f" % (med["tool"] / med["before"]) if "before" in med else "–"))


def report_log_cost(times, sizes, frames, rounds, what="--detections"):
    print("rounds: %d, interleaved; the tool without and with %s; wall = whole-process "
          "wall time" % (rounds, what))
    print("| size | frames | without: wall (median) | with: wall (median) "
          "| with ÷ without wall (median of rounds) |")
    print("|---|---|---|---|---|")
    for size in sizes:
        rounds_ = zip(times[(size, "with")], times[(size, "without")])
        ratios = [with_ / without for (with_, _), (without, _) in rounds_]
        print("| %s | %d | %.2f s | %.2f s | %.3f |" % (
            size, frames[size], median_wall(times, size, "without"),
            median_wall(times, size, "with"), statistics.median(ratios)))


def check_log_option(runs, work):
    """Fails clearly when this build of the tool has no detection log."""
    log = os.path.join(work, "log.csv")
    try:
        timed_run(runs["with"], work)
    except RuntimeError as error:
        sys.exit("compare.py: the tool rejects --detections, so it has no detection log yet:\n%s"
                 % error)
    if not os.path.exists(log):
        sys.exit("compare.py: the tool accepted --detections but wrote no %s" % log)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sizes", help="default: every size; 640x480 with --log-cost")
    parser.add_argument("--frames", type=int, help="frames per video (default: by size)")
    parser.add_argument("--tool-args", default="",
                        help="extra words before the tool's four, e.g. \"--detections d.csv\"")
    parser.add_argument("--footage", nargs="?", const=FOOTAGE,
                        help="real videos instead of sample scenes, comma-separated "
                        "(default: %s)" % FOOTAGE)
    parser.add_argument("--against", metavar="DIR",
                        help="another build of the tool to run beside this one, as 'before'")
    parser.add_argument("--log-cost", action="store_true",
                        help="time the tool without and with --detections WORK/log.csv")
    parser.add_argument("--at-end-cost", action="store_true",
                        help="time the tool with --no-snapshot and with --snapshot-at-end")
    parser.add_argument("--smoke", action="store_true",
                        help="one round over a tiny video: proves the script works")
    args = parser.parse_args()
    if args.smoke:
        args.sizes, args.frames, args.rounds = "320x240", 10, 1
    args.build = os.path.abspath(args.build)
    one_size = args.log_cost or args.at_end_cost
    sizes = (args.sizes or ("640x480" if one_size else ",".join(DEFAULT_FRAMES))).split(",")
    if args.footage:
        sizes = args.footage.split(",")  # each video stands for a size in the tables
    tool_args = shlex.split(args.tool_args)
    with tempfile.TemporaryDirectory(prefix="shapemark-compare-") as work:
        snapshot = os.path.join(work, harness.SNAPSHOT)
        os.makedirs(os.path.dirname(snapshot))
        videos, frames = {}, {}
        for size in sizes:
            if args.footage:
                videos[size] = os.path.abspath(size)
                frames[size] = int(cv2.VideoCapture(size).get(cv2.CAP_PROP_FRAME_COUNT))
                continue
            frames[size] = args.frames or DEFAULT_FRAMES.get(size, 100)
            videos[size] = os.path.join(work, "input_%s.avi" % size)
            subprocess.run([os.path.join(args.build, "make_test_video"), videos[size],
                            "--frames", str(frames[size]), "--fps", FPS, "--size", size,
                            "--scene", "sample"], check=True)
        if args.log_cost:
            def runs_for(size):
                return log_cost_runs(args.build, videos[size], work, tool_args)
            check_log_option(runs_for(sizes[0]), work)
            times = interleave(args.rounds, sizes, ["without", "with"], runs_for, work)
            report_log_cost(times, sizes, frames, args.rounds)
            return 0
        if args.at_end_cost:
            def runs_for(size):
                return at_end_cost_runs(args.build, videos[size], work, tool_args)
            times = interleave(args.rounds, sizes, ["without", "with"], runs_for, work)
            report_log_cost(times, sizes, frames, args.rounds, "--snapshot-at-end")
            return 0
        matches = {}

        def compare_snapshots(size):
            # Same last frame, same work: the snapshots must hold the same pixels (their
            # compressed bytes are each encoder's own).
            for name in ("peer", "careful"):
                matches[(size, name)] = same_pixels(snapshot, os.path.join(work, name + ".png"))

        against = os.path.abspath(args.against) if args.against else None
        names = CONTENDERS + (["before"] if against else [])
        times = interleave(args.rounds, sizes, names,
                           lambda size: contenders(args.build, videos[size], work, tool_args,
                                                   against),
                           work, compare_snapshots)
        report_contenders(times, sizes, frames, matches, args.rounds, names)
    return 0


if __name__ == "__main__":
    sys.exit(main())
