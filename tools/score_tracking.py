#!/usr/bin/python3
"""Scores identities on the scenes of tools/make_tracking_scenes.py: IDF1, ID switches, MOTA.

For each scene and skip rate, two sources of shapes are tracked two ways:
- sources: the truth's own polygons ("truth"), or the tool's detections ("tool": a run of
  `shapemark --no-windows --track --detector=robust --max-area=none --detections=...`, or
  `--detector=classic`; the tracker's parameters go in through `--params`);
- trackers: shapemark's Tracker (for "tool", the ids the tool logged), and a baseline that pairs
  each shape greedily with the nearest track centre within a gate, keeps a lost track a maximum
  age, and gives a new track its id at once;
- for "tool", also "perfect": each shape takes the id of the true shape it overlaps most, the
  ceiling that detection misses set for any tracker.

A shape matches a true one in a frame when their polygons' intersection over union is at least
0.5. A tool's shape that matches no counted true shape but lies on one the truth ignores (less
than half of it shows: it matches it, or half of it lies inside it) is left out of every score,
as the detection benchmark leaves out shapes the border cuts. IDF1 matches true ids to predicted ids once, over all frames (the pairing that shares the
most frames); MOTA and ID switches follow the CLEAR MOT rules. Shapes without an id are not
counted as tracker output; their share is reported.

    PYTHONPATH=build/python tools/score_tracking.py SCENEDIR --seeds 101,102 \\
        --tool build/shapemark [--detector robust] [--skip 1,2] [--area 100] [--markdown] \\
        [--cache DIR] [--switches]

With --cache, each scene's detection log is kept in DIR (one per scene, detector, area and skip
rate) and the tool runs only for a log not there yet; the library's Tracker then tracks the
logged shapes, as the tool would, so tracker changes are measured without detecting again.
The library's Tracker is given each frame of the scene's video (scene-N.avi), for the shapes'
colours (`--tracker colour_weight=...`), as the tool samples them.
--switches lists each ID switch: set, scene, frame, true id, the id before and after, where,
and what went before it (a new id after how many processed frames unmatched, the id of which
other true shape, or back to one it had; whether a shape covered it and another, as when the
detector merges two).
--losses says where IDF1 goes: the share of true shapes (frames) spent under an id other than
the one IDF1 pairs the true id with, by what split the ids (see split_losses).
"""
import argparse
import collections
import json
import math
import os
import re
import subprocess
import tempfile

import cv2
import numpy as np

import shapemark

MATCH_IOU = 0.5
# A shape that overlaps two true shapes at least this much covers both (the detector merged them).
MERGED_IOU = 0.15
# The baseline's gate and maximum age: the tracker's defaults, so that only the rules differ.
BASELINE_GATE = 80.0
BASELINE_AGE = 15


def iou(a, b):
    a = np.asarray(a, np.float32).reshape(-1, 2)
    b = np.asarray(b, np.float32).reshape(-1, 2)
    if len(a) < 3 or len(b) < 3:
        return 0.0
    a = cv2.convexHull(a)
    b = cv2.convexHull(b)
    area_a, area_b = cv2.contourArea(a), cv2.contourArea(b)
    shared, _ = cv2.intersectConvexConvex(a, b)
    union = area_a + area_b - shared
    return shared / union if union > 0 else 0.0


def on_ignored(polygon, counted, ignored):
    """Whether the shape lies on a true shape the truth ignores, and matches no counted one."""
    if any(iou(polygon, q) >= MATCH_IOU for q in counted):
        return False
    a = cv2.convexHull(np.asarray(polygon, np.float32).reshape(-1, 2))
    for q in ignored:
        b = cv2.convexHull(np.asarray(q, np.float32).reshape(-1, 2))
        shared, _ = cv2.intersectConvexConvex(a, b)
        if shared >= MATCH_IOU * cv2.contourArea(a) > 0 or iou(polygon, q) >= MATCH_IOU:
            return True
    return False


def least_cost(cost):
    """Hungarian method: for each row of a rows x cols list of lists, its column or -1."""
    rows = len(cost)
    cols = len(cost[0]) if rows else 0
    if rows == 0 or cols == 0:
        return [-1] * rows
    flip = rows > cols
    if flip:
        cost = [list(c) for c in zip(*cost)]
        rows, cols = cols, rows
    u, v = [0.0] * (rows + 1), [0.0] * (cols + 1)
    owner, way = [0] * (cols + 1), [0] * (cols + 1)
    for i in range(1, rows + 1):
        owner[0], column = i, 0
        least, used = [math.inf] * (cols + 1), [False] * (cols + 1)
        while True:
            used[column] = True
            row, delta, nxt = owner[column], math.inf, 0
            for j in range(1, cols + 1):
                if not used[j]:
                    reduced = cost[row - 1][j - 1] - u[row] - v[j]
                    if reduced < least[j]:
                        least[j], way[j] = reduced, column
                    if least[j] < delta:
                        delta, nxt = least[j], j
            for j in range(cols + 1):
                if used[j]:
                    u[owner[j]] += delta
                    v[j] -= delta
                else:
                    least[j] -= delta
            column = nxt
            if owner[column] == 0:
                break
        while column:
            previous = way[column]
            owner[column] = owner[previous]
            column = previous
    result = [-1] * (cols if flip else rows)
    for j in range(1, cols + 1):
        if owner[j]:
            if flip:
                result[j - 1] = owner[j] - 1
            else:
                result[owner[j] - 1] = j - 1
    return result


def baseline(frames):
    """Greedy nearest-centre tracking: frames is [(number, [polygon, ...])]; returns the ids."""
    tracks = {}  # id -> (centre, last seen)
    next_id = 1
    out = []
    for number, polygons in frames:
        centres = [np.asarray(p, float).reshape(-1, 2).mean(axis=0) for p in polygons]
        tracks = {k: t for k, t in tracks.items() if number - t[1] <= BASELINE_AGE}
        pairs = sorted((np.hypot(*(c - t[0])), k, j) for j, c in enumerate(centres)
                       for k, t in tracks.items() if np.hypot(*(c - t[0])) <= BASELINE_GATE)
        ids, taken = [None] * len(polygons), set()
        for _, k, j in pairs:
            if ids[j] is None and k not in taken:
                ids[j] = k
                taken.add(k)
        for j in range(len(polygons)):
            if ids[j] is None:
                ids[j], next_id = next_id, next_id + 1
            tracks[ids[j]] = (centres[j], number)
        out.append(ids)
    return out


def video_frames(video, numbers):
    """The video's frames numbered (1-based) in numbers, in order, as the tool decodes them."""
    wanted = set(numbers)
    capture = cv2.VideoCapture(video)
    number = 0
    while wanted:
        got, image = capture.read()
        if not got:
            raise RuntimeError("%s ends before frame %d" % (video, min(wanted)))
        number += 1
        if number in wanted:
            wanted.discard(number)
            yield image
    capture.release()


def with_tracker(frames, params, frame_size=None, video=None):
    """Ids as the tool gives them: the frame size (width, height) passed as the tool passes it,
    and, with the scene's video, each frame's pixels for the shapes' colours."""
    tracker = shapemark.Tracker(**params)
    images = video_frames(video, [n for n, _ in frames]) if video else iter(lambda: None, 0)
    return [[s.id for s in tracker.update(number, [shapemark.Shape(np.asarray(p, np.int32))
                                                   for p in polygons], frame_size, image)]
            for (number, polygons), image in zip(frames, images)]


def perfect_ids(frames, truth_frames):
    ids = []
    for (_, polygons), truth in zip(frames, truth_frames):
        row = []
        for polygon in polygons:
            overlap, tid = max(((iou(q, polygon), t) for t, q in truth), default=(0.0, None))
            row.append(tid if overlap > 0 else None)
        ids.append(row)
    return ids


def centre_of(polygon):
    return tuple(np.round(np.asarray(polygon, float).reshape(-1, 2).mean(axis=0)).astype(int))


def score(truth_frames, predicted, numbers=None, report=None):
    """truth_frames: [[(true id, polygon)]]; predicted: [[(id or None, polygon)]], frame by
    frame. Returns the metrics as a dict. With report, each ID switch is passed to it as
    (frame, true id, id before, id after, where, what went before it)."""
    gt_total = sum(len(t) for t in truth_frames)
    pred_total = sum(1 for p in predicted for i, _ in p if i is not None)
    untagged = sum(1 for p in predicted for i, _ in p if i is None)
    shared = {}  # (true id, predicted id) -> frames matched
    misses = false_positives = switches = 0
    last_id = {}
    last_index = {}  # true id -> the last frame it was matched, as an index
    owner = {}  # predicted id -> the true id it last matched
    merged_before = set()
    for index, (truth, pred) in enumerate(zip(truth_frames, predicted)):
        tagged = [(i, p) for i, p in pred if i is not None]
        overlap = [[iou(tp, pp) for _, pp in tagged] for _, tp in truth]
        merged = {truth[a][0] for b in range(len(tagged))
                  for a in range(len(truth)) if overlap[a][b] > MERGED_IOU
                  if sum(overlap[c][b] > MERGED_IOU for c in range(len(truth))) > 1}
        for a, (tid, _) in enumerate(truth):
            for b, (pid, _) in enumerate(tagged):
                if overlap[a][b] >= MATCH_IOU:
                    shared[(tid, pid)] = shared.get((tid, pid), 0) + 1
        # CLEAR MOT: keep last frame's pairs where they still match, then the best of the rest.
        pairs = {}
        for a, (tid, _) in enumerate(truth):
            for b, (pid, _) in enumerate(tagged):
                if last_id.get(tid) == pid and overlap[a][b] >= MATCH_IOU and b not in pairs.values():
                    pairs[a] = b
        rest_a = [a for a in range(len(truth)) if a not in pairs]
        rest_b = [b for b in range(len(tagged)) if b not in pairs.values()]
        cost = [[1 - overlap[a][b] if overlap[a][b] >= MATCH_IOU else 10.0 for b in rest_b]
                for a in rest_a]
        for k, col in enumerate(least_cost(cost)):
            if col >= 0 and overlap[rest_a[k]][rest_b[col]] >= MATCH_IOU:
                pairs[rest_a[k]] = rest_b[col]
        for a, b in pairs.items():
            tid, pid = truth[a][0], tagged[b][0]
            if tid in last_id and last_id[tid] != pid:
                switches += 1
                if report:
                    if owner.get(pid) == tid:
                        cause = "back to an id it had"
                    elif pid in owner:
                        cause = "took the id of true %d" % owner[pid]
                    else:
                        cause = "a new id, %d processed frames after it was last matched" % (
                            index - last_index[tid] - 1)
                    if tid in merged | merged_before:
                        cause += "; a shape covered it and another"
                    report(numbers[index] if numbers else index, tid, last_id[tid], pid,
                           centre_of(truth[a][1]), cause)
            last_id[tid] = pid
            last_index[tid] = index
            owner[pid] = tid
        merged_before = merged
        misses += len(truth) - len(pairs)
        false_positives += len(tagged) - len(pairs)
    true_ids = sorted({t for t, _ in shared})
    pred_ids = sorted({p for _, p in shared})
    cost = [[-shared.get((t, p), 0) for p in pred_ids] for t in true_ids]
    idtp = sum(-cost[r][c] for r, c in enumerate(least_cost(cost)) if c >= 0)
    return {"idf1": 2 * idtp / (gt_total + pred_total) if gt_total + pred_total else 1.0,
            "switches": switches, "mota": 1 - (misses + false_positives + switches) / gt_total,
            "true": gt_total, "untagged": untagged / max(1, untagged + pred_total)}


def split_losses(truth_frames, predicted, skip, keep):
    """Frames each true shape spends under an id other than the one IDF1 pairs it with, by what
    ended the stretch before (for a first stretch, after) them: a gap of at most `keep` input
    frames, a longer gap, "none" (the id changed while the shape was seen), or "only id" (its
    one id went to another true shape). Each true shape is matched to the shape it overlaps
    most (IoU >= MATCH_IOU). Returns a Counter of frames by (cause, whether a shape covered it
    and another at the split)."""
    seen = {}  # true id -> [(frame index, predicted id, merged)]
    for index, (truth, pred) in enumerate(zip(truth_frames, predicted)):
        tagged = [(i, p) for i, p in pred if i is not None]
        for tid, polygon in truth:
            overlaps = [iou(polygon, p) for _, p in tagged]
            if overlaps and max(overlaps) >= MATCH_IOU:
                best = tagged[overlaps.index(max(overlaps))]
                merged = sum(iou(q, best[1]) > MERGED_IOU for _, q in truth) > 1
                seen.setdefault(tid, []).append((index, best[0], merged))
    shared = collections.Counter((t, p) for t, run in seen.items() for _, p, _ in run)
    true_ids = sorted(seen)
    pred_ids = sorted({p for _, p in shared})
    cost = [[-shared.get((t, p), 0) for p in pred_ids] for t in true_ids]
    paired = {true_ids[r]: pred_ids[c] for r, c in enumerate(least_cost(cost)) if c >= 0}
    lost = collections.Counter()
    for tid, run in seen.items():
        starts = [k for k in range(len(run)) if k == 0 or run[k][1] != run[k - 1][1]]
        for n, start in enumerate(starts):
            end = starts[n + 1] if n + 1 < len(starts) else len(run)
            if paired.get(tid) == run[start][1]:
                continue
            if n > 0 or end < len(run):
                before, after = (start - 1, start) if n > 0 else (end - 1, end)
                gap = run[after][0] - run[before][0] - 1
                cause = "none" if gap == 0 else "gap" if gap * skip <= keep else "long gap"
                merged = run[before][2] or run[after][2]
            else:
                cause, merged = "only id", True
            lost[(cause, merged)] += end - start
    return lost


def read_log(path):
    with open(path) as f:
        return {r["frame"]: r["shapes"] for r in map(json.loads, f)}


def cached_log(cache, tool, detector, video, area, skip):
    """The tool's detection log of a scene, from the cache, run once if not there yet."""
    name = "%s-%s-area%d-skip%d.jsonl" % (os.path.splitext(os.path.basename(video))[0], detector,
                                          area, skip)
    path = os.path.join(cache, name)
    if not os.path.exists(path):
        os.makedirs(cache, exist_ok=True)
        tool_log(tool, detector, video, area, skip, {}, keep=path + ".part.jsonl")
        os.replace(path + ".part.jsonl", path)
    return read_log(path)


def tool_log(tool, detector, video, area, skip, params, keep=None):
    with tempfile.TemporaryDirectory() as folder:
        log = keep or os.path.join(folder, "log.jsonl")
        # The robust detector's default area ceiling is meant for the classic frame size; the
        # scenes' shapes need none.
        options = ["--detector=" + detector]
        if detector == "robust":
            options.append("--max-area=none")
        if params:  # through the tool's parameters file
            with open(os.path.join(folder, "params.yml"), "w") as f:
                f.write("%YAML:1.0\ntracker:\n" +
                        "".join("  %s: %s\n" % item for item in params.items()))
            options.append("--params=" + os.path.join(folder, "params.yml"))
        subprocess.run([tool, "--no-windows", "--no-progress", "--no-snapshot", "--track",
                        *options, "--detections=" + log, video, os.path.join(folder, "out.avi"),
                        str(area), str(skip)], check=True, stdout=subprocess.DEVNULL,
                       timeout=600)
        return read_log(log)


def kept_frames(tool, params):
    """keep_lost_frames as the tracker runs: given, or the tool's default (--print-params)."""
    if "keep_lost_frames" in params:
        return params["keep_lost_frames"]
    printed = subprocess.run([tool, "--print-params"], check=True, capture_output=True,
                             text=True, timeout=60).stdout
    return int(re.search(r"keep_lost_frames:\s*(\d+)", printed).group(1))


def evaluate(scenes, seeds, tool, detector, area, skip, params, cache=None, switches=False,
             losses=False):
    totals = {}
    keep = kept_frames(tool, params) if losses else None
    for seed in seeds:
        with open(os.path.join(scenes, "scene-%d.json" % seed)) as f:
            scene = json.load(f)
        truth = [fr for fr in scene["frames"] if fr["frame"] % skip == 0]
        size = (scene["width"], scene["height"])
        numbers = [fr["frame"] for fr in truth]
        truth_frames = [[(s["id"], s["polygon"]) for s in fr["shapes"]] for fr in truth]
        ignored = [fr.get("ignore", []) for fr in truth]
        runs = {}
        own = [(n, [p for _, p in t]) for n, t in zip(numbers, truth_frames)]
        video = os.path.join(scenes, "scene-%d.avi" % seed)
        runs[("truth", "tracker")] = (own, with_tracker(own, params, size, video))
        runs[("truth", "baseline")] = (own, baseline(own))
        if tool:
            if cache:
                logged = cached_log(cache, tool, detector, video, area, skip)
            else:
                logged = tool_log(tool, detector, video, area, skip, params)
            found = [(n, [s["polygon"] for s in logged.get(n, [])]) for n in numbers]
            runs[("tool", "tracker")] = (found, with_tracker(found, params, size, video) if cache else
                                         [[s["id"] for s in logged.get(n, [])] for n in numbers])
            # Tracked with every shape, scored without those on ignored true shapes.
            kept = [[not on_ignored(p, [q for _, q in t], ig) for p in polygons]
                    for (_, polygons), t, ig in zip(found, truth_frames, ignored)]
            runs[("tool", "baseline")] = (found, baseline(found))
            runs[("tool", "perfect")] = (found, perfect_ids(found, truth_frames))
        for key, (shapes, ids) in runs.items():
            predicted = [list(zip(i, p)) for (_, p), i in zip(shapes, ids)]
            if key[0] == "tool":
                predicted = [[s for s, k in zip(row, keep_row) if k]
                             for row, keep_row in zip(predicted, kept)]
            report = None
            if switches and key[1] == "tracker":
                def report(frame, tid, before, after, where, cause, key=key, seed=seed):
                    print("switch %s skip %d scene %d frame %d true %d: %s -> %s at %s: %s" % (
                        key[0], skip, seed, frame, tid, before, after, where, cause))
            result = score(truth_frames, predicted, numbers, report)
            total = totals.setdefault(key, {"runs": [], "lost": collections.Counter()})
            total["runs"].append(result)
            if losses and key[1] == "tracker":
                total["lost"].update(split_losses(truth_frames, predicted, skip, keep))
    summary = {}
    for key, total in totals.items():
        runs = total["runs"]
        true = sum(r["true"] for r in runs)
        summary[key] = {
            "idf1": sum(r["idf1"] * r["true"] for r in runs) / true,
            "mota": sum(r["mota"] * r["true"] for r in runs) / true,
            "switches": sum(r["switches"] for r in runs),
            "switches_per_500": 500 * sum(r["switches"] for r in runs) / true,
            "untagged": sum(r["untagged"] for r in runs) / len(runs),
            "true": true,
            "lost": {k: n / true for k, n in total["lost"].items()},
        }
    return summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scenes")
    parser.add_argument("--seeds", default="1,2,3")
    parser.add_argument("--tool")
    parser.add_argument("--detector", default="robust", choices=("robust", "classic"))
    parser.add_argument("--area", type=int, default=100)
    parser.add_argument("--skip", default="1")
    parser.add_argument("--markdown", action="store_true")
    parser.add_argument("--cache", help="keep the tool's detection logs here and reuse them")
    parser.add_argument("--switches", action="store_true", help="list each ID switch")
    parser.add_argument("--losses", action="store_true",
                        help="where the tracker's IDF1 goes, by what split each shape's ids")
    parser.add_argument("--tracker", default="",
                        help="tracker parameters other than the defaults: name=value,...")
    args = parser.parse_args()
    if args.losses and not args.tool:
        parser.error("--losses needs --tool (for the tracker's keep_lost_frames)")
    seeds = [int(s) for s in args.seeds.split(",")]
    params = {k: (float(v) if "." in v else int(v))
              for k, v in (item.split("=") for item in args.tracker.split(",") if item)}
    if args.markdown:
        print("| Shapes from | Skip | Tracker | IDF1 | MOTA | ID switches (per 500) | "
              "Without id |")
        print("|---|---|---|---|---|---|---|")
    for skip in (int(s) for s in args.skip.split(",")):
        scores = evaluate(args.scenes, seeds, args.tool, args.detector, args.area, skip, params,
                          args.cache, args.switches, args.losses)
        for (source, tracker), m in sorted(scores.items(), reverse=True):
            if args.markdown:
                print("| %s | %d | %s | %.3f | %.3f | %d (%.2f) | %.1f %% |" % (
                    source, skip, tracker, m["idf1"], m["mota"], m["switches"],
                    m["switches_per_500"], 100 * m["untagged"]))
            else:
                print("%-6s skip %d %-9s IDF1 %.3f  MOTA %.3f  switches %d (%.2f per 500)  "
                      "without id %.1f %%  true %d" % (source, skip, tracker, m["idf1"], m["mota"],
                                                       m["switches"], m["switches_per_500"],
                                                       100 * m["untagged"], m["true"]))
            if args.losses and tracker == "tracker":
                causes = {"gap": "a gap within keep_lost_frames", "long gap": "a longer gap",
                          "none": "no gap", "only id": "its only id went to another"}
                print("lost %s skip %d: %s" % (source, skip, "; ".join(
                    "%s %.3f (merged %.3f)" % (text, sum(v for (c, _), v in m["lost"].items()
                                                         if c == cause),
                                               m["lost"].get((cause, True), 0.0))
                    for cause, text in causes.items())))


if __name__ == "__main__":
    main()
