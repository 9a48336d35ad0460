#!/usr/bin/python3
"""The ground-truth benchmark: generates scenes of each kind at 1280x720 and 1920x1080, runs
the classic detector (the tool itself), the robust detector and the multi-level peer over them,
and prints one Markdown table of the scores per kind of scene.

    detection_benchmark.py BUILD_DIR WORK_DIR [--seeds=1,2] [--frames=30] [--kinds=...]
                           [--detectors=classic,robust,peer] [--robust-via-tool]

--robust-via-tool runs `shapemark --detector=robust --max-area=none` instead of the
bench/robust_detections program. The scenes and logs stay in WORK_DIR.
"""
import argparse
import collections
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from score_detections import read_detections, read_truth, score  # noqa: E402

GENERATOR = os.path.join(HERE, "..", "tools", "make_truth_scenes.py")
PEER = os.path.join(HERE, "peer_multilevel.py")
SIZES = ("1280x720", "1920x1080")
AREA_SIZE = "300"


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1800)


def detect(name, video, log, args):
    tool = os.path.join(args.build, "shapemark")
    scratch = log + ".avi"
    if name == "classic":
        run([tool, "--detections=" + log, "--snapshot=" + log + ".png", video, scratch, AREA_SIZE, "1"])
    elif name == "robust" and args.robust_via_tool:
        run([tool, "--detector=robust", "--max-area=none", "--detections=" + log,
             "--snapshot=" + log + ".png", video, scratch, AREA_SIZE, "1"])
    elif name == "robust":
        run([os.path.join(args.build, "bench", "robust_detections"), video, log, AREA_SIZE])
    else:
        run([sys.executable, PEER, video, log, AREA_SIZE])
    for leftover in (scratch, log + ".png"):
        if os.path.exists(leftover):
            os.remove(leftover)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("build")
    p.add_argument("work")
    p.add_argument("--seeds", default="1,2")
    p.add_argument("--frames", default="30")
    p.add_argument("--kinds", default="filled,outlined,colour,harsh")
    p.add_argument("--detectors", default="classic,robust,peer")
    p.add_argument("--robust-via-tool", action="store_true")
    args = p.parse_args(argv[1:])
    os.makedirs(args.work, exist_ok=True)
    totals = collections.defaultdict(collections.Counter)
    matched = collections.defaultdict(list)
    for kind in args.kinds.split(","):
        for size in SIZES:
            for seed in args.seeds.split(","):
                stem = os.path.join(args.work, "%s-%s-%s" % (kind, size, seed))
                video, truth = stem + ".avi", stem + ".truth.jsonl"
                if not os.path.exists(truth):
                    run([sys.executable, GENERATOR, video, truth, "--kind=" + kind, "--size=" + size,
                         "--frames=" + args.frames, "--seed=" + seed])
                for name in args.detectors.split(","):
                    log = "%s.%s.jsonl" % (stem, name)
                    detect(name, video, log, args)
                    r = score(read_truth(truth), read_detections(log))
                    for key in ("tp", "fp", "fn", "duplicates"):
                        totals[(kind, name)][key] += r[key]
                    totals[(kind, name)]["vertices_right"] += round(r["vertex_accuracy"] * r["tp"])
                    matched[(kind, name)].append((r["mean_iou"], r["tp"]))
    print("| scenes | detector | precision | recall | F1 | vertices right | mean IoU | duplicates |")
    print("|---|---|---|---|---|---|---|---|")
    kinds = args.kinds.split(",") + ["all"]
    for kind in kinds:
        for name in args.detectors.split(","):
            if kind == "all":
                t = sum((totals[(k, name)] for k in kinds[:-1]), collections.Counter())
                m = [x for k in kinds[:-1] for x in matched[(k, name)]]
            else:
                t, m = totals[(kind, name)], matched[(kind, name)]
            tp, fp, fn = t["tp"], t["fp"], t["fn"]
            precision = tp / (tp + fp) if tp + fp else 1.0
            recall = tp / (tp + fn) if tp + fn else 1.0
            f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
            weight = sum(n for _, n in m)
            mean_iou = sum(v * n for v, n in m) / weight if weight else 0.0
            print("| %s | %s | %.3f | %.3f | %.3f | %.3f | %.3f | %d |" % (
                kind, name, precision, recall, f1, t["vertices_right"] / tp if tp else 0.0,
                mean_iou, t["duplicates"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
