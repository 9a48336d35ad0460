#!/usr/bin/python3
"""Scores a detection log against a scene's ground truth.

    score_detections.py TRUTH.jsonl DETECTIONS.(csv|jsonl) [--json]

TRUTH comes from tools/make_truth_scenes.py; DETECTIONS is the tool's --detections log (or the
same format from a peer). Per frame, detections and true shapes are matched one to one by
polygon IoU >= 0.5, best pairs first. A detection on a shape flagged "ignore" counts neither
way: one that matches it, or lies mostly inside it (the visible part of a shape the border
cuts, whose true polygon runs on outside the frame). Any other unmatched detection is a false
positive, and one that overlaps an already matched shape is also counted as a duplicate.
Prints precision, recall, F1, the share of matches with the right vertex count, the mean IoU
of matches, and what the false positives lay on.
"""
import argparse
import collections
import csv
import json
import sys

import cv2
import numpy as np

MIN_IOU = 0.5
MOSTLY = 0.5  # share of a detection inside an ignored shape that puts it on that shape


def read_truth(path):
    with open(path) as f:
        return {row["frame"]: row for row in map(json.loads, f)}


def read_detections(path):
    """{frame: [polygon, ...]} from either form of the detection log."""
    frames = collections.defaultdict(list)
    with open(path) as f:
        if path.endswith(".jsonl"):
            for row in map(json.loads, f):
                frames[row["frame"]].extend(s["polygon"] for s in row["shapes"])
        else:
            for row in csv.DictReader(f):
                xy = [float(v) for v in row["polygon"].split()]
                frames[int(row["frame"])].append(list(zip(xy[0::2], xy[1::2])))
    return frames


def convex(points):
    return cv2.convexHull(np.asarray(points, dtype=np.float32))


def iou(a, b):
    area_a, area_b = cv2.contourArea(a), cv2.contourArea(b)
    if area_a <= 0 or area_b <= 0:
        return 0.0
    inter, _ = cv2.intersectConvexConvex(a, b)
    return inter / (area_a + area_b - inter)


def mostly_inside(a, b):
    """Whether at least MOSTLY of convex polygon a lies inside convex polygon b."""
    area_a = cv2.contourArea(a)
    if area_a <= 0 or cv2.contourArea(b) <= 0:
        return False
    inter, _ = cv2.intersectConvexConvex(a, b)
    return inter >= MOSTLY * area_a


def lies_on(polygon, distractors):
    for d in distractors:
        if cv2.pointPolygonTest(polygon, tuple(float(v) for v in d["centre"]), False) >= 0:
            return d["kind"]
    return "background"


def score(truth, detections):
    tally = collections.Counter()
    ious, fp_on = [], collections.Counter()
    for frame, row in truth.items():
        shapes = [(convex(s["polygon"]), s) for s in row["shapes"]]
        found = [(convex(p), len(p)) for p in detections.get(frame, [])]
        pairs = sorted(((iou(d[0], s[0]), i, j) for i, d in enumerate(found)
                        for j, s in enumerate(shapes)), reverse=True)
        used_d, used_s = set(), set()
        for value, i, j in pairs:
            if value < MIN_IOU or i in used_d or j in used_s:
                continue
            used_d.add(i)
            used_s.add(j)
            if shapes[j][1]["ignore"]:
                continue
            tally["tp"] += 1
            tally["vertices_right"] += found[i][1] == shapes[j][1]["vertices"]
            ious.append(value)
        for i, d in enumerate(found):
            if i in used_d:
                continue
            near = [j for value, k, j in pairs if k == i and value >= MIN_IOU]
            if any(s["ignore"] and (j in near or mostly_inside(d[0], hull))
                   for j, (hull, s) in enumerate(shapes)):
                continue
            tally["fp"] += 1
            if near:
                tally["duplicates"] += 1
                fp_on["duplicate"] += 1
            else:
                fp_on[lies_on(d[0], row.get("distractors", []))] += 1
        tally["fn"] += sum(1 for j, s in enumerate(shapes) if j not in used_s and not s[1]["ignore"])
    tp, fp, fn = tally["tp"], tally["fp"], tally["fn"]
    precision = tp / (tp + fp) if tp + fp else 1.0
    recall = tp / (tp + fn) if tp + fn else 1.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
    return {
        "precision": precision, "recall": recall, "f1": f1,
        "vertex_accuracy": tally["vertices_right"] / tp if tp else 0.0,
        "mean_iou": float(np.mean(ious)) if ious else 0.0,
        "tp": tp, "fp": fp, "fn": fn, "duplicates": tally["duplicates"],
        "fp_on": dict(fp_on),
    }


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("truth")
    p.add_argument("detections")
    p.add_argument("--json", action="store_true", help="print the figures as one JSON object")
    args = p.parse_args(argv[1:])
    result = score(read_truth(args.truth), read_detections(args.detections))
    if args.json:
        print(json.dumps(result))
    else:
        print("P %.3f  R %.3f  F1 %.3f  V %.3f  IoU %.3f  (tp %d fp %d fn %d dup %d)  fp on %s" % (
            result["precision"], result["recall"], result["f1"], result["vertex_accuracy"],
            result["mean_iou"], result["tp"], result["fp"], result["fn"], result["duplicates"],
            result["fp_on"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
