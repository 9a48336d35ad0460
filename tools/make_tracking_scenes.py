#!/usr/bin/python3
"""Moving scenes with known identities, for scoring trackers.

Each scene is a video and a truth file: 8 to 12 dark convex shapes (3 to 8 vertices) on a light,
slightly noisy ground, moving 1 to 8 pixels a frame on straight or curved paths; some stop for a
while, some enter or leave the frame, pairs of paths cross or nearly cross, and a light opaque
band hides the shapes that pass behind it for 3 to 10 frames.

The truth file (JSON) lists, for every frame, each shape that shows at least half of its area:
its true id (kept through the band), and the convex hull of its visible part. A shape that
comes back after more than 10 frames unseen (it left the frame) comes back as a new true id:
no tracker is asked to remember it that long. Under "ignore", each frame lists the visible
hulls of the shapes that show less than half of their area: a scorer neither credits nor
blames a tracker for them, as the detection benchmark does for shapes the border cuts.

    tools/make_tracking_scenes.py OUTDIR [--seeds 1,2,3] [--frames 240]

writes OUTDIR/scene-SEED.avi and OUTDIR/scene-SEED.json for each seed.
"""
import argparse
import json
import math
import os

import cv2
import numpy as np

WIDTH, HEIGHT = 640, 480
BAND_X, BAND_WIDTH = 300, 56  # the opaque band, full height
VISIBLE_SHARE = 0.5  # a shape counts in a frame when at least this share of it shows
LONGEST_HIDE = 10  # frames; a path that hides a shape longer is drawn again
BACKGROUND = (196, 200, 204)
BAND = (214, 216, 218)  # near the ground: a light edge would look like shape to a threshold


def regular_polygon(vertices, radius, angle):
    steps = np.arange(vertices) * 2 * math.pi / vertices + angle
    return np.stack([np.cos(steps), np.sin(steps)], axis=1) * radius


def path(rng, frames, crossing=None):
    """Centre positions, one per frame: constant heading or a steady turn, a speed of 1 to 8,
    sometimes a stop; from inside the frame or entering it from an edge."""
    speed = rng.uniform(1, 8)
    # Most paths turn on a circle of 60 to 200 pixels, which keeps them in the frame a while.
    turn = 0.0 if rng.random() < 0.35 else speed / rng.uniform(60, 200) * rng.choice([-1, 1])
    if crossing is not None:
        point, when, heading, offset = crossing
        turn = 0.0
        start = np.array(point) + offset - speed * when * np.array([math.cos(heading),
                                                                    math.sin(heading)])
    elif rng.random() < 0.25:  # enters from an edge, heading inwards
        edge = rng.integers(4)
        start = [(-40, rng.uniform(40, HEIGHT - 40)), (WIDTH + 40, rng.uniform(40, HEIGHT - 40)),
                 (rng.uniform(40, WIDTH - 40), -40), (rng.uniform(40, WIDTH - 40), HEIGHT + 40)][
            edge]
        inward = [0.0, math.pi, math.pi / 2, -math.pi / 2][edge]
        heading = inward + rng.uniform(-0.6, 0.6)
        start = np.array(start, float)
    else:
        start = np.array([rng.uniform(120, WIDTH - 120), rng.uniform(100, HEIGHT - 100)])
        heading = rng.uniform(0, 2 * math.pi)
    stop = None
    if rng.random() < 0.3:
        first = int(rng.integers(0, frames - 30))
        stop = (first, first + int(rng.integers(15, 40)))
    positions = []
    position = np.array(start, float)
    for f in range(frames):
        positions.append(position.copy())
        if stop is None or not stop[0] <= f < stop[1]:
            position += speed * np.array([math.cos(heading), math.sin(heading)])
            heading += turn
    return np.array(positions)


def visible_part(outline):
    """The shape's whole area in pixels, and the frame points of its visible part."""
    x0, y0 = np.floor(outline.min(axis=0)).astype(int) - 1
    x1, y1 = np.ceil(outline.max(axis=0)).astype(int) + 1
    mask = np.zeros((y1 - y0 + 1, x1 - x0 + 1), np.uint8)
    cv2.fillConvexPoly(mask, np.round(outline - (x0, y0)).astype(np.int32), 1)
    area = int(mask.sum())
    xs = np.arange(x0, x1 + 1)
    hidden_columns = (xs < 0) | (xs >= WIDTH) | ((xs >= BAND_X) & (xs < BAND_X + BAND_WIDTH))
    mask[:, hidden_columns] = 0
    ys = np.arange(y0, y1 + 1)
    mask[(ys < 0) | (ys >= HEIGHT), :] = 0
    points = np.argwhere(mask)[:, ::-1] + (x0, y0)
    return area, points


def longest_hide(shown, inside):
    """The longest run of frames in which a shape that is inside the frame does not show,
    between two frames in which it does."""
    longest, run, seen_before = 0, 0, False
    for s, i in zip(shown, inside):
        if s:
            if seen_before:
                longest = max(longest, run)
            run, seen_before = 0, True
        elif i:
            run += 1
        else:
            run, seen_before = 0, False
    return longest


def make_shape(rng, frames, crossing=None):
    vertices = int(rng.integers(3, 9))
    radius = rng.uniform(16, 30)
    outline = regular_polygon(vertices, radius, rng.uniform(0, 2 * math.pi))
    spin = rng.uniform(-0.01, 0.01)
    colour = tuple(int(c) for c in rng.integers(20, 110, 3))
    return {"vertices": vertices, "radius": radius, "outline": outline, "spin": spin,
            "colour": colour, "centres": path(rng, frames, crossing)}


def outline_at(shape, f):
    c, s = math.cos(shape["spin"] * f), math.sin(shape["spin"] * f)
    rotated = shape["outline"] @ np.array([[c, s], [-s, c]])
    return rotated + shape["centres"][f]


def appearances(shape, frames):
    """Per frame: the visible hull, or None when less than half of the shape shows; and the
    visible hull of each frame where less than half, but some, shows (else None)."""
    result, partial, shown, inside = [], [], [], []
    for f in range(frames):
        outline = outline_at(shape, f)
        area, points = visible_part(outline)
        x, y = shape["centres"][f]
        inside.append(0 <= x < WIDTH and 0 <= y < HEIGHT)
        hull = cv2.convexHull(points.astype(np.int32)).reshape(-1, 2).tolist() if len(
            points) >= 3 else None
        half = area > 0 and len(points) >= VISIBLE_SHARE * area
        result.append(hull if half else None)
        partial.append(None if half else hull)
        shown.append(half)
    return result, partial, longest_hide(shown, inside)


def make_scene(seed, frames):
    rng = np.random.default_rng(seed)
    count = int(rng.integers(8, 13))
    shapes = []
    # Pairs that cross (offset 0) or nearly cross (an offset up to a shape's width).
    crossings = []
    for _ in range(count // 3):
        point = (rng.uniform(120, WIDTH - 120), rng.uniform(100, HEIGHT - 100))
        when = int(rng.integers(30, frames - 30))
        heading = rng.uniform(0, 2 * math.pi)
        near = rng.uniform(0, 50) * np.array([math.cos(heading + 1.3), math.sin(heading + 1.3)])
        crossings += [(point, when, heading, np.zeros(2)),
                      (point, when, heading + rng.uniform(1.0, 2.2), near)]
    while len(shapes) < count:
        crossing = crossings[len(shapes)] if len(shapes) < len(crossings) else None
        for _attempt in range(50):
            shape = make_shape(rng, frames, crossing)
            shape["truth"], shape["partial"], hide = appearances(shape, frames)
            if hide <= LONGEST_HIDE and sum(h is not None for h in shape["truth"]) >= 20:
                break
        shapes.append(shape)
    return shapes


def render(shapes, frames, seed, video_path):
    rng = np.random.default_rng(seed + 1000)
    writer = cv2.VideoWriter(video_path, cv2.VideoWriter_fourcc(*"MJPG"), 25, (WIDTH, HEIGHT))
    for f in range(frames):
        image = np.empty((HEIGHT, WIDTH, 3), np.uint8)
        image[:] = BACKGROUND
        noise = rng.integers(-6, 7, (HEIGHT, WIDTH, 1))
        image = np.clip(image.astype(np.int16) + noise, 0, 255).astype(np.uint8)
        for shape in shapes:
            cv2.fillConvexPoly(image, np.round(outline_at(shape, f)).astype(np.int32),
                               shape["colour"], cv2.LINE_AA)
        image[:, BAND_X:BAND_X + BAND_WIDTH] = BAND
        writer.write(image)
    writer.release()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("--seeds", default="1,2,3")
    parser.add_argument("--frames", type=int, default=200)
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    for seed in (int(s) for s in args.seeds.split(",")):
        shapes = make_scene(seed, args.frames)
        render(shapes, args.frames, seed, os.path.join(args.outdir, "scene-%d.avi" % seed))
        truth = {"width": WIDTH, "height": HEIGHT,
                 "frames": [{"frame": f + 1, "shapes": [], "ignore": []}
                            for f in range(args.frames)]}
        next_id = 1
        for shape in shapes:
            last_seen = None
            for f, hull in enumerate(shape["truth"]):
                if hull is None:
                    continue
                if last_seen is None or f - last_seen > LONGEST_HIDE + 1:
                    true_id, next_id = next_id, next_id + 1
                last_seen = f
                truth["frames"][f]["shapes"].append({"id": true_id, "polygon": hull})
            for f, hull in enumerate(shape["partial"]):
                if hull is not None:
                    truth["frames"][f]["ignore"].append(hull)
        with open(os.path.join(args.outdir, "scene-%d.json" % seed), "w") as f:
            json.dump(truth, f)


if __name__ == "__main__":
    main()
