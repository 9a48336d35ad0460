#!/usr/bin/python3
"""Writes a camera-like test scene and its ground truth, for scoring detectors.

    make_truth_scenes.py OUTPUT.avi TRUTH.jsonl [--kind=KIND] [--size=WxH] [--frames=N] [--seed=S]

KIND is filled, outlined, colour or harsh (see KINDS). The video is Motion-JPEG, compressed as a
camera does; TRUTH has one JSON object per frame:
    {"frame": 1, "shapes": [{"vertices": 4, "polygon": [[x, y], ...], "ignore": false,
                             "style": "filled"}], "distractors": [{"kind": "circle", ...}]}
Frames are numbered from 1, as the tool's detection log numbers them. A shape is flagged
"ignore" when the border cuts it, so a scorer neither credits nor blames a detector for it.
The same seed gives the same scene; tune on some seeds and judge on others.
"""
import argparse
import json
import math
import sys

import cv2
import numpy as np

# What each kind of scene stresses: how the shapes are styled (weights of filled, outlined,
# holed and same-grey colour fills) and how hard the camera is on them.
KINDS = {
    "filled": dict(styles=(6, 1, 1, 2), texture=14, shadow=0.35, noise=3.0, quality=80, clutter=1.0),
    "outlined": dict(styles=(2, 6, 2, 1), texture=14, shadow=0.35, noise=3.0, quality=80, clutter=1.0),
    "colour": dict(styles=(2, 1, 1, 6), texture=12, shadow=0.3, noise=3.0, quality=80, clutter=1.0),
    "harsh": dict(styles=(4, 2, 1, 2), texture=24, shadow=0.55, noise=6.0, quality=55, clutter=1.6),
}
MIN_ACROSS, MAX_ACROSS = 30.0, 400.0
MIN_EDGE = 16.0  # every edge at least this long, so that a corner is still a corner once blurred
MIN_CHROMA = 30.0  # how far (in Lab a*b*) a same-grey colour fill lies from the grey background
BORDER_MARGIN = 3.0  # a shape with a vertex this close to the border is cut by it


def luma(bgr):
    b, g, r = bgr
    return 0.114 * b + 0.587 * g + 0.299 * r


def random_convex(rng, vertices, radius, aspect):
    """A convex polygon of `vertices` corners around the origin: a regular one with its corners
    nudged along the circle, then stretched; every corner stays a clear corner."""
    step = 2.0 * math.pi / vertices
    angles = [k * step + rng.uniform(-0.15, 0.15) * step for k in range(vertices)]
    pts = np.array([[radius * math.cos(a), radius * math.sin(a) / aspect] for a in angles])
    return pts


def concave(rng, kind, radius):
    """Concave distractors: a five-pointed star, an L and an arrow, around the origin."""
    if kind == "star":
        pts = []
        for k in range(10):
            r = radius if k % 2 == 0 else radius * rng.uniform(0.4, 0.55)
            a = k * math.pi / 5
            pts.append([r * math.cos(a), r * math.sin(a)])
        return np.array(pts)
    if kind == "L":
        w = rng.uniform(0.35, 0.5)
        pts = [[-1, -1], [-1 + w, -1], [-1 + w, 1 - w], [1, 1 - w], [1, 1], [-1, 1]]
        return np.array(pts) * radius * 0.7
    pts = [[-1, -0.25], [0.2, -0.25], [0.2, -0.6], [1, 0], [0.2, 0.6], [0.2, 0.25], [-1, 0.25]]
    return np.array(pts) * radius


def rotate(pts, angle):
    c, s = math.cos(angle), math.sin(angle)
    return pts @ np.array([[c, s], [-s, c]])


class Thing:
    """One moving object: a shape to find or a distractor, with its own slow motion."""

    def __init__(self, rng, centre, radius, frames):
        self.centre = np.array(centre, dtype=float)
        speed = rng.uniform(0.0, 1.0)
        heading = rng.uniform(0, 2 * math.pi)
        self.velocity = np.array([math.cos(heading), math.sin(heading)]) * speed
        self.spin = math.radians(rng.uniform(-0.6, 0.6))
        self.turn = rng.uniform(0, 2 * math.pi)
        self.radius = radius
        self.frames = frames

    def at(self, t):
        return self.centre + self.velocity * t, self.turn + self.spin * t

    def clear_of(self, other, gap):
        """Whether the two never come closer than `gap` over the whole clip."""
        p = self.centre - other.centre
        v = self.velocity - other.velocity
        vv = float(v @ v)
        t = 0.0 if vv == 0 else min(max(-(p @ v) / vv, 0.0), float(self.frames))
        return np.linalg.norm(p + v * t) >= self.radius + other.radius + gap


def background(rng, size, texture):
    """A textured surface: large soft blotches, fine grain and a faint colour cast."""
    w, h = size
    grey = rng.uniform(95, 175)
    low = cv2.resize(rng.normal(0, 1, (h // 60 + 2, w // 60 + 2)), (w, h), interpolation=cv2.INTER_CUBIC)
    mid = cv2.GaussianBlur(rng.normal(0, 1, (h, w)), (0, 0), 2.5)
    mid *= 1.0 / max(mid.std(), 1e-6)
    surface = grey + texture * (0.8 * low + 0.5 * mid)
    cast = rng.uniform(-8, 8, 3)
    img = np.dstack([surface + cast[c] for c in range(3)])
    return np.clip(img, 0, 255).astype(np.float32)


def shape_colour(rng, style, bg_grey):
    """The fill: clear grey contrast, a saturated colour, or (colour style) a colour of the
    background's own grey level."""
    if style == "colour":
        for _ in range(100):
            hue = rng.uniform(0, 180)
            hsv = np.uint8([[[hue, rng.uniform(150, 255), 200]]])
            bgr = cv2.cvtColor(hsv, cv2.COLOR_HSV2BGR)[0, 0].astype(float)
            bgr *= bg_grey / max(luma(bgr), 1.0)
            lab = cv2.cvtColor(np.float32([[bgr / 255.0]]), cv2.COLOR_BGR2Lab)[0, 0]
            if bgr.max() <= 255 and abs(luma(bgr) - bg_grey) < 6 and math.hypot(lab[1], lab[2]) >= MIN_CHROMA:
                return tuple(bgr)
        return (bg_grey * 0.4, bg_grey * 1.1, bg_grey * 1.4)
    contrast = rng.uniform(40, 110) * rng.choice([-1, 1])
    level = bg_grey + contrast
    if level < 10 or level > 245:
        level = bg_grey - contrast
    tint = rng.uniform(-25, 25, 3) if rng.random() < 0.5 else np.zeros(3)
    return tuple(np.clip(level + tint, 0, 255))


def make_scene(args):
    rng = np.random.default_rng(args.seed)
    kind = KINDS[args.kind]
    w, h = args.size
    scale = math.sqrt(w * h / (1280 * 720))
    base = background(rng, (w, h), kind["texture"])
    bg_grey = float(luma(base.reshape(-1, 3).mean(axis=0)))
    things = []

    def place(radius, tries=200, border_cut=False):
        for _ in range(tries):
            if border_cut:
                c = (rng.choice([radius * 0.3, w - radius * 0.3]), rng.uniform(radius, h - radius))
            else:
                c = (rng.uniform(radius + 6, w - radius - 6), rng.uniform(radius + 6, h - radius - 6))
            thing = Thing(rng, c, radius, args.frames)
            if all(thing.clear_of(o, 12) for o in things):
                # keep it inside the frame for the whole clip unless it is meant to be cut
                end, _ = thing.at(args.frames)
                if border_cut or (radius + 4 < end[0] < w - radius - 4 and radius + 4 < end[1] < h - radius - 4):
                    things.append(thing)
                    return thing
        return None

    # Shapes first, large ones first so that they find room.
    count = int(round(10 * scale))
    radii = sorted(np.exp(rng.uniform(math.log(MIN_ACROSS / 2), math.log(MAX_ACROSS / 2), count)), reverse=True)
    styles = ["filled", "outlined", "holed", "colour"]
    weights = np.array(kind["styles"], dtype=float)
    shapes = []
    for i, r in enumerate(radii):
        vertices = int(rng.integers(3, 9))
        # a triangle this small has too little area; a small octagon looks round
        r = max(r, 22.0 if vertices == 3 else 17.0, MIN_EDGE / (2 * math.sin(math.pi / vertices)) / 0.85)
        thing = place(r, border_cut=(i == 1))
        if thing is None:
            continue
        thing.style = styles[rng.choice(4, p=weights / weights.sum())]
        if thing.style in ("outlined", "holed") and r < 30:
            thing.style = "filled"
        thing.vertices = vertices
        thing.points = random_convex(rng, vertices, r, rng.uniform(1.0, 1.35))
        thing.colour = shape_colour(rng, thing.style, bg_grey)
        thing.thickness = int(round(rng.uniform(3, 9) * max(1.0, r / 80)))
        shapes.append(thing)

    distractors = []
    for _ in range(int(round(8 * scale * kind["clutter"]))):
        what = rng.choice(["circle", "ring", "ellipse", "star", "L", "arrow", "line", "text"])
        r = rng.uniform(18, 90) if what != "text" else 60
        thing = place(r)
        if thing is None:
            continue
        thing.kind = what
        thing.colour = shape_colour(rng, "filled", bg_grey)
        thing.aspect = rng.uniform(1.5, 2.5)
        thing.thickness = int(rng.integers(1, 5))
        thing.text = "".join(rng.choice(list("ABCDEHKMOPRSTUVW0123456789"), int(rng.integers(3, 7))))
        thing.text_scale = rng.uniform(0.4, 0.75)
        if what in ("star", "L", "arrow"):
            thing.points = concave(rng, what, r)
        distractors.append(thing)

    # The light: a gradient, vignetting and a soft shadow whose edge crosses the scene.
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    gx, gy = rng.uniform(-0.35, 0.35, 2)
    light = 1.0 + gx * (xx / w - 0.5) + gy * (yy / h - 0.5)
    rr = ((xx - w / 2) ** 2 + (yy - h / 2) ** 2) / ((w / 2) ** 2 + (h / 2) ** 2)
    light *= 1.0 - rng.uniform(0.2, 0.4) * rr
    shadow_angle = rng.uniform(0, 2 * math.pi)
    shadow_offset = rng.uniform(-0.2, 0.2) * w
    return dict(rng=rng, base=base, shapes=shapes, distractors=distractors, light=light,
                shadow=(shadow_angle, shadow_offset), xx=xx, yy=yy, kind=kind, size=(w, h), scale=scale)


SHIFT = 4  # sub-pixel bits for drawing, so slow motion moves edges smoothly


def fixed(pts):
    return np.round(np.asarray(pts) * (1 << SHIFT)).astype(np.int32)


def draw_frame(scene, t):
    w, h = scene["size"]
    img = scene["base"].copy()
    truth, noted = [], []
    for s in scene["shapes"]:
        centre, turn = s.at(t)
        pts = rotate(s.points, turn) + centre
        if s.style == "outlined":
            cv2.polylines(img, [fixed(pts)], True, s.colour, s.thickness, cv2.LINE_AA, SHIFT)
        else:
            cv2.fillPoly(img, [fixed(pts)], s.colour, cv2.LINE_AA, SHIFT)
            if s.style == "holed":
                cv2.circle(img, fixed(centre), int(s.radius * 0.35 * (1 << SHIFT)),
                           scene["base"][int(centre[1]) % h, int(centre[0]) % w].tolist(), -1, cv2.LINE_AA, SHIFT)
        cut = bool((pts[:, 0] < BORDER_MARGIN).any() or (pts[:, 0] > w - 1 - BORDER_MARGIN).any()
                   or (pts[:, 1] < BORDER_MARGIN).any() or (pts[:, 1] > h - 1 - BORDER_MARGIN).any())
        truth.append({"vertices": s.vertices, "polygon": np.round(pts, 1).tolist(), "ignore": cut,
                      "style": s.style})
    for d in scene["distractors"]:
        centre, turn = d.at(t)
        c = fixed(centre)
        if d.kind == "circle":
            cv2.circle(img, c, int(d.radius * (1 << SHIFT)), d.colour, -1, cv2.LINE_AA, SHIFT)
        elif d.kind == "ring":
            cv2.circle(img, c, int(d.radius * (1 << SHIFT)), d.colour, max(3, int(d.radius / 6)), cv2.LINE_AA, SHIFT)
        elif d.kind == "ellipse":
            axes = (int(d.radius * (1 << SHIFT)), int(d.radius / d.aspect * (1 << SHIFT)))
            cv2.ellipse(img, c, axes, math.degrees(turn), 0, 360, d.colour, -1, cv2.LINE_AA, SHIFT)
        elif d.kind in ("star", "L", "arrow"):
            cv2.fillPoly(img, [fixed(rotate(d.points, turn) + centre)], d.colour, cv2.LINE_AA, SHIFT)
        elif d.kind == "line":
            a = np.array([math.cos(turn), math.sin(turn)]) * d.radius
            cv2.line(img, fixed(centre - a), fixed(centre + a), d.colour, d.thickness, cv2.LINE_AA, SHIFT)
        else:
            org = (int(centre[0] - d.radius * 0.9), int(centre[1] + 8))
            cv2.putText(img, d.text, org, cv2.FONT_HERSHEY_SIMPLEX, d.text_scale, d.colour,
                        1 + int(d.thickness > 2), cv2.LINE_AA)
        noted.append({"kind": str(d.kind), "centre": np.round(centre, 1).tolist()})
    return img, truth, noted


def expose(scene, img, t):
    """What the camera makes of the drawn scene: optics blur, light, shadow, exposure flicker,
    sensor noise."""
    rng, kind = scene["rng"], scene["kind"]
    img = cv2.GaussianBlur(img, (0, 0), 0.9)
    angle, offset = scene["shadow"]
    w, h = scene["size"]
    drift = 0.4 * t
    side = (scene["xx"] - w / 2) * math.cos(angle) + (scene["yy"] - h / 2) * math.sin(angle) - offset - drift
    softness = 12.0 * scene["scale"]
    shade = 1.0 - kind["shadow"] / (1.0 + np.exp(-side / softness))
    gain = scene["light"] * shade * rng.uniform(0.94, 1.06)
    img = img * gain[:, :, None]
    img += rng.normal(0, kind["noise"], img.shape).astype(np.float32)
    return np.clip(img, 0, 255).astype(np.uint8)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("output")
    p.add_argument("truth")
    p.add_argument("--kind", choices=sorted(KINDS), default="filled")
    p.add_argument("--size", default="1280x720", type=lambda s: tuple(int(v) for v in s.split("x")))
    p.add_argument("--frames", type=int, default=30)
    p.add_argument("--seed", type=int, default=1)
    args = p.parse_args(argv[1:])
    scene = make_scene(args)
    writer = cv2.VideoWriter(args.output, cv2.VideoWriter_fourcc(*"MJPG"), 25, args.size, True)
    if not writer.isOpened():
        sys.stderr.write("make_truth_scenes.py: cannot write %s\n" % args.output)
        return 1
    writer.set(cv2.VIDEOWRITER_PROP_QUALITY, scene["kind"]["quality"])
    with open(args.truth, "w") as out:
        for t in range(args.frames):
            img, truth, noted = draw_frame(scene, t)
            writer.write(expose(scene, img, t))
            out.write(json.dumps({"frame": t + 1, "shapes": truth, "distractors": noted}) + "\n")
    writer.release()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
