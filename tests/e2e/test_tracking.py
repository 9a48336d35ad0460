"""Ids from frame to frame: generated videos with known objects, run as a user would."""
import csv
import json
import os
import unittest

import cv2
import numpy as np

import harness

SIZE = (320, 240)
FRAMES = 36


def square(cx, cy, half=16):
    return np.array([[cx - half, cy - half], [cx + half, cy - half], [cx + half, cy + half],
                     [cx - half, cy + half]], np.int32)


def scene(frame):
    """{true id: polygon} of one frame (0-based): two squares whose paths cross (a detector
    merges shapes that touch, so not at the same time), a still triangle, one square leaving on
    the right, and from frame 24 another entering on the left."""
    objects = {1: square(30 + 6 * frame, 60), 2: square(200, 20 + 5 * frame),
               3: np.array([[110, 150], [150, 210], [70, 210]], np.int32)}
    if frame < 16:
        objects[4] = square(200 + 8 * frame, 120)
    if frame >= 24:
        objects[5] = square(8 * (frame - 24) - 10, 120)
    return objects


def write_scene(path):
    writer = cv2.VideoWriter(path, cv2.VideoWriter_fourcc(*"MJPG"), 25, SIZE)
    for f in range(FRAMES):
        image = np.full((SIZE[1], SIZE[0], 3), 210, np.uint8)
        for polygon in scene(f).values():
            cv2.fillConvexPoly(image, polygon, (60, 40, 30))
        writer.write(image)
    writer.release()


def nearest_object(frame, x, y):
    centres = {k: p.mean(axis=0) for k, p in scene(frame).items()}
    return min(centres, key=lambda k: np.hypot(*(centres[k] - (x, y))))


class TrackingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = cls.work.file("moving.avi")
        write_scene(cls.video)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def run_tool(self, *args, skip=1):
        result = harness.run_tool([*args, self.video, "out.avi", 100, skip], cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    # Catches: ids that switch where paths cross, a still shape re-identified, a leaving id
    # handed to the newcomer, ids that skip numbers or do not start at 1, tentative rows
    # dropped, and (at skip 2) an age counted in processed frames. Runs twice: ids restart.
    def test_each_object_keeps_one_id_and_no_row_is_lost(self):
        for skip in (1, 2, 1):
            self.run_tool("--detections=plain.csv", skip=skip)
            self.run_tool("--track", "--detections=ids.csv", skip=skip)
            with open(self.work.file("plain.csv"), newline="") as f:
                plain = list(csv.DictReader(f))
            with open(self.work.file("ids.csv"), newline="") as f:
                tracked = list(csv.DictReader(f))
            self.assertEqual(list(tracked[0])[:4], ["frame", "time_ms", "shape", "id"])
            self.assertEqual([{k: v for k, v in row.items() if k != "id"} for row in tracked],
                             plain)
            ids_of = {}
            for row in tracked:
                if row["id"] == "":
                    continue
                obj = nearest_object(int(row["frame"]) - 1, float(row["centre_x"]),
                                     float(row["centre_y"]))
                ids_of.setdefault(obj, set()).add(int(row["id"]))
            self.assertEqual(sorted(ids_of), [1, 2, 3, 4, 5])
            self.assertTrue(all(len(ids) == 1 for ids in ids_of.values()), ids_of)
            self.assertEqual(sorted(i for ids in ids_of.values() for i in ids), [1, 2, 3, 4, 5])
            # None without an id at the default: a shape is named when first seen.
            untagged = sum(row["id"] == "" for row in tracked)
            self.assertEqual(untagged, 0)

    # Catches: the robust detector dropping shapes the border cuts (the leaving square lost
    # while it leaves, the entering one found late), and a shape entering, seen first in part,
    # getting a second id once whole.
    def test_robust_detector_tracks_shapes_through_the_border(self):
        self.run_tool("--detector=robust", "--max-area=none", "--track", "--detections=r.csv")
        with open(self.work.file("r.csv"), newline="") as f:
            rows = list(csv.DictReader(f))
        ids_of, frames_of = {}, {}
        for row in rows:
            frame = int(row["frame"])
            obj = nearest_object(frame - 1, float(row["centre_x"]), float(row["centre_y"]))
            ids_of.setdefault(obj, set()).add(row["id"])
            frames_of.setdefault(obj, []).append(frame)
        self.assertEqual({k: len(v) for k, v in ids_of.items()}, {k: 1 for k in range(1, 6)})
        # Seen in every frame it shows: the leaving square to its last, 16 (16 px of its 33),
        # the entering one from its first, 25 (7 px).
        self.assertEqual(max(frames_of[4]), 16)
        self.assertEqual(min(frames_of[5]), 25)

    # Catches: the JSON log writing 0 or leaving the key out for a shape without an id yet.
    def test_json_lines_say_null_until_an_id_is_given(self):
        with open(self.work.file("confirm.yml"), "w") as f:  # shapes wait a frame for an id
            f.write("%YAML:1.0\ntracker:\n  confirm_frames: 2\n")
        self.run_tool("--track", "--params=" + self.work.file("confirm.yml"),
                      "--detections=ids.jsonl")
        with open(self.work.file("ids.jsonl")) as f:
            records = [json.loads(line) for line in f]
        self.assertTrue(all(s["id"] is None for s in records[0]["shapes"]))
        last = [s["id"] for s in records[-1]["shapes"]]
        self.assertEqual(len(set(last)), 4)
        self.assertTrue(all(isinstance(i, int) and 1 <= i <= 5 for i in last), last)

    # Catches: drawing ids (or tracking at all) leaking into the outputs when --draw-ids is
    # off, and --draw-ids drawing nothing, or anything but outline-green pixels.
    def test_only_draw_ids_changes_the_pictures(self):
        outputs = {}
        for name, args in (("plain", []), ("track", ["--track", "--detections=t.csv"]),
                           ("ids", ["--draw-ids"])):
            self.run_tool(*args, "--snapshot=%s.png" % name)
            os.replace(self.work.file("out.avi"), self.work.file(name + ".avi"))
            with open(self.work.file(name + ".avi"), "rb") as f:
                outputs[name] = (f.read(), cv2.imread(self.work.file(name + ".png")))
        self.assertEqual(outputs["track"][0], outputs["plain"][0])
        self.assertTrue(np.array_equal(outputs["track"][1], outputs["plain"][1]))
        plain, ids = outputs["plain"][1], outputs["ids"][1]
        changed = np.any(plain != ids, axis=2)
        self.assertGreater(changed.sum(), 50)
        self.assertTrue(harness.green_mask(ids)[changed].all())
        self.assertNotEqual(outputs["ids"][0], outputs["plain"][0])

    # Catches: --track accepted where its ids would go nowhere, or the refusal touching a file.
    def test_track_alone_is_refused(self):
        result = harness.run_tool(["--track", self.video, "refused.avi", 100, 1],
                                  cwd=self.work.path)
        self.assertEqual(result.returncode, 255)
        self.assertIn(b"--draw-ids", result.stderr)
        self.assertFalse(os.path.exists(self.work.file("refused.avi")))


if __name__ == "__main__":
    unittest.main()
