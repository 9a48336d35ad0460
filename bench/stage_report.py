#!/usr/bin/python3
"""Runs the stage benchmarks and turns their figures into the tables of docs/PERFORMANCE.md
and the plot docs/performance-stages.png.

Repetitions are randomly interleaved by Google Benchmark, so the noise of a shared machine
spreads over all stages; each figure is the minimum (and the median) of the repetitions' real
times.

    stage_report.py [--build DIR] [--repetitions N] [--min-time S] [--filter REGEX]
                    [--json FILE] [--save-json FILE] [--plot FILE]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SIZES = ["640x480", "1280x720", "1920x1080", "3840x2160"]
SOURCES = ["synthetic", "decoded", "footage"]  # footage: opencv-doc's vtest.avi, 768x576
# The stages whose sum the whole frame should match; the PNG encode is inside saveSnapshot.
SUM_STAGES = ["cloneFrame", "binariseFrame", "scanContours", "saveSnapshot", "videoWrite"]
PERIODS_MS = {25: 40.0, 30: 1000.0 / 30.0}


def run_benchmarks(args):
    binary = os.path.join(os.path.abspath(args.build), "bench", "stage_benchmarks")
    command = [binary, "--benchmark_format=json",
               "--benchmark_repetitions=%d" % args.repetitions,
               "--benchmark_enable_random_interleaving=true",
               "--benchmark_min_time=%g" % args.min_time]
    if args.filter:
        command.append("--benchmark_filter=" + args.filter)
    result = subprocess.run(command, check=True, stdout=subprocess.PIPE)
    return json.loads(result.stdout)


def collect(report):
    """{(stage, size, source): [(real time, CPU time) in ms or µs, ...]} from the iteration runs,
    and {(stage, size, source): [PNG bytes, ...]} for the encoders."""
    times, png_bytes = {}, {}
    for run in report["benchmarks"]:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        parts = run["run_name"].split("/")
        key = tuple(parts[:3])
        times.setdefault(key, []).append((run["real_time"], run["cpu_time"]))
        if "png_bytes" in run:
            png_bytes.setdefault(key, []).append(run["png_bytes"])
    return times, png_bytes


def sizes_of(times, source):
    """The sizes measured for a source: the four standard ones, or the footage's own."""
    found = {size for (_, size, src) in times if src == source}
    return [s for s in SIZES if s in found] + sorted(found - set(SIZES))


# The two views of each figure: the minimum real time, and the median CPU time of the whole
# process (all its threads), which the load of a shared machine disturbs far less.
VIEWS = {"real": (0, min), "cpu": (1, statistics.median)}


def figure(times, stage, size, source, view="cpu"):
    values = times.get((stage, size, source))
    if not values:
        return None
    index, pick = VIEWS[view]
    return pick([v[index] for v in values])


def fmt(value, digits=2):
    return "–" if value is None else "%.*f" % (digits, value)


def stage_table(times, source, view):
    stages = SUM_STAGES[:3] + ["pngEncode", "snapshotEncode", "saveSnapshot", "imwrite",
                               "videoWrite"]
    video = "footage" if source == "footage" else "decoded"
    lines = ["| size | " + " | ".join(stages) + " | stage sum | whole frame | whole ÷ sum "
             "| whole, 1 thread | decodeFrame |",
             "|---" * (len(stages) + 6) + "|"]
    for size in sizes_of(times, source):
        row = [figure(times, s, size, source, view) for s in stages]
        parts = [figure(times, s, size, source, view) for s in SUM_STAGES]
        total = sum(parts) if None not in parts else None
        whole = figure(times, "wholeFrame", size, source, view)
        single = figure(times, "wholeFrameOneThread", size, source, view)
        decode = figure(times, "decodeFrame", size, video, view)
        if all(v is None for v in row):
            continue
        ratio = whole / total if whole and total else None
        lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
            size, " | ".join(fmt(v) for v in row), fmt(total), fmt(whole), fmt(ratio, 3),
            fmt(single), fmt(decode)))
    return "\n".join(lines)


def encoder_table(times, png_bytes):
    """The snapshot's encoder against the library's on the same marked frames: CPU medians,
    mean PNG bytes per frame."""
    lines = ["| frames | size | library ms | ours ms | speed-up | library bytes | ours bytes "
             "| ours ÷ library bytes |", "|---|---|---|---|---|---|---|---|"]
    for source in SOURCES:
        for size in sizes_of(times, source):
            theirs = figure(times, "pngEncode", size, source)
            ours = figure(times, "snapshotEncode", size, source)
            if theirs is None or ours is None:
                continue
            big = statistics.median(png_bytes[("pngEncode", size, source)])
            small = statistics.median(png_bytes[("snapshotEncode", size, source)])
            lines.append("| %s | %s | %.2f | %.2f | %.2f | %s | %s | %.3f |" % (
                source, size, theirs, ours, theirs / ours, format(round(big), ","),
                format(round(small), ","), small / big))
    return "\n".join(lines)


def share_table(times, source):
    lines = ["| size | " + " | ".join(SUM_STAGES) + " | of which PNG encode |",
             "|---" * (len(SUM_STAGES) + 2) + "|"]
    for size in sizes_of(times, source):
        parts = [figure(times, s, size, source) for s in SUM_STAGES]
        if None in parts:
            continue
        total = sum(parts)
        png = figure(times, "snapshotEncode", size, source)
        lines.append("| %s | %s | %s |" % (
            size, " | ".join("%.0f %%" % (100.0 * p / total) for p in parts),
            "%.0f %%" % (100.0 * png / total) if png else "–"))
    return "\n".join(lines)


def headroom_table(times):
    """A headless run's processed frame (runFrame: decode, then the frame through the pipeline,
    marked ahead on other threads, every snapshot written) over the frame period; the main
    thread's own floor, now that it only decodes (decodeFrame); and the cores' floor, the
    frame's CPU time over the cores. Real times are minimums, the nearest to an idle machine;
    CPU times are medians, of the whole process."""
    cores = os.cpu_count() or 1
    lines = ["| size | source | run frame ms, real | ÷ 40 ms (25 fps) | ÷ 33.3 ms (30 fps) "
             "| CPU ms | main thread (decode) ms | run ÷ main thread | run ÷ (CPU ÷ %d cores) |"
             % cores,
             "|---|---|---|---|---|---|---|---|---|"]
    for source in ("decoded", "footage"):
        for size in sizes_of(times, source):
            run = figure(times, "runFrame", size, source, "real")
            main = figure(times, "decodeFrame", size, source, "real")
            cpu = figure(times, "runFrame", size, source, "cpu")
            if run is None or main is None:
                continue
            lines.append("| %s | %s | %.1f | %.2f | %.2f | %.1f | %.1f | %.2f | %.2f |" % (
                size, source, run, run / PERIODS_MS[25], run / PERIODS_MS[30], cpu, main,
                run / main, run / (cpu / cores)))
    return "\n".join(lines)


def counter_table(times):
    lines = ["| counter write | µs, real (min) | µs, CPU (median) |", "|---|---|---|"]
    for key in sorted(k for k in times if k[0] == "counter"):
        lines.append("| %s | %.2f | %.2f |" % ("/".join(key[1:]), min(v[0] for v in times[key]),
                                               statistics.median(v[1] for v in times[key])))
    return "\n".join(lines)


def plot(times, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    labels = {"cloneFrame": "clone", "binariseFrame": "binarise", "scanContours": "scan + draw",
              "saveSnapshot": "PNG snapshot", "videoWrite": "MP42 write"}
    colours = {"cloneFrame": "tab:blue", "binariseFrame": "tab:orange",
               "scanContours": "tab:green", "saveSnapshot": "tab:red", "videoWrite": "tab:purple",
               "wholeFrame": "black"}
    sizes = [s for s in SIZES if figure(times, "wholeFrame", s, "decoded") is not None]
    fig, (cost, share) = plt.subplots(1, 2, figsize=(10, 4), dpi=80)
    for stage in SUM_STAGES + ["wholeFrame"]:
        for source, style in (("decoded", "-o"), ("synthetic", ":")):
            values = [figure(times, stage, s, source) for s in sizes]
            cost.plot(sizes, values, style, color=colours[stage], markersize=4,
                      label=labels.get(stage, "whole frame") if source == "decoded" else None)
    cost.axhline(40.0, color="grey", linestyle="--", linewidth=1)
    cost.text(0.0, 44.0, "25 fps period", color="grey", fontsize=8)
    cost.set_yscale("log")
    cost.set_ylabel("CPU ms per processed frame (log)")
    cost.set_title("cost per stage (solid: decoded, dotted: synthetic)", fontsize=10)
    cost.legend(fontsize=8)
    bottom = [0.0] * len(sizes)
    for stage in SUM_STAGES:
        parts = []
        for s in sizes:
            total = sum(figure(times, x, s, "decoded") for x in SUM_STAGES)
            parts.append(100.0 * figure(times, stage, s, "decoded") / total)
        share.bar(sizes, parts, bottom=bottom, color=colours[stage], label=labels[stage])
        bottom = [b + p for b, p in zip(bottom, parts)]
    share.set_ylabel("% of the stage sum")
    share.set_title("share of the frame (decoded frames)", fontsize=10)
    fig.suptitle("shapemark: stage cost by resolution (process CPU time, median of interleaved runs)")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--min-time", type=float, default=1.0)
    parser.add_argument("--filter", default="")
    parser.add_argument("--json", help="read these results instead of running the benchmarks")
    parser.add_argument("--save-json", help="keep the raw results here")
    parser.add_argument("--plot", help="write the plot to this PNG")
    args = parser.parse_args()
    if args.json:
        with open(args.json) as f:
            report = json.load(f)
    else:
        report = run_benchmarks(args)
    if args.save_json:
        with open(args.save_json, "w") as f:
            json.dump(report, f, indent=1)
    times, png_bytes = collect(report)
    context = report.get("context", {})
    print("library threads: %s of %s CPUs, %s" % (context.get("cv_num_threads"),
                                                 context.get("cv_num_cpus"),
                                                 context.get("cv_parallel_framework")))
    for source in SOURCES:
        print("\n### %s frames: ms per processed frame, process CPU time (median)\n" % source)
        print(stage_table(times, source, "cpu"))
        print("\n%s frames: ms per processed frame, real time (minimum)\n" % source)
        print(stage_table(times, source, "real"))
        print("\n%s frames: share of the stage sum (CPU time)\n" % source)
        print(share_table(times, source))
    print("\n### snapshot encoders (CPU ms per frame, median; PNG bytes per frame)\n")
    print(encoder_table(times, png_bytes))
    print("\n### real-time headroom (a run's processed frame ÷ frame period; below 1 keeps "
          "up)\n")
    print(headroom_table(times))
    print("\n### counter\n")
    print(counter_table(times))
    if args.plot:
        plot(times, args.plot)
        print("\nplot: %s" % args.plot)
    return 0


if __name__ == "__main__":
    sys.exit(main())
