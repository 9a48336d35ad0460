"""The detection log: exactly the outlined shapes, as CSV or JSON Lines, whole after any end."""
import csv
import json
import os
import unittest

import cv2
import numpy as np

import harness

FRAMES = 7
SKIP = 2
SIZE = (640, 480)


def csv_shapes(path):
    """{frame: (time_ms, [(vertices, area, centre, polygon), ...])} from a CSV log."""
    frames = {}
    with open(path, newline="", encoding="ascii") as f:
        rows = list(csv.DictReader(f))
    for row in rows:
        numbers = [int(v) for v in row["polygon"].split(" ")]
        polygon = [numbers[i:i + 2] for i in range(0, len(numbers), 2)]
        time_ms, shapes = frames.setdefault(int(row["frame"]), (float(row["time_ms"]), []))
        assert int(row["shape"]) == len(shapes), row
        shapes.append((int(row["vertices"]), float(row["area"]),
                       [float(row["centre_x"]), float(row["centre_y"])], polygon))
    return frames


def jsonl_shapes(path):
    with open(path, encoding="ascii") as f:
        records = [json.loads(line) for line in f]
    return {r["frame"]: (r["time_ms"], [(s["vertices"], s["area"], s["centre"], s["polygon"])
                                        for s in r["shapes"]]) for r in records}


class DetectionLogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = harness.make_video(cls.work.file("in.avi"), FRAMES, fps=25, size=SIZE,
                                       scene="sample")

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def run_with_log(self, name, *args):
        result = harness.run_tool(["--detections", name, *args, self.video, "out.avi", 100, SKIP],
                                  cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.work.file(name)

    def test_logged_polygons_redraw_the_snapshot(self):
        frames = csv_shapes(self.run_with_log("log.csv"))
        self.assertEqual(sorted(frames), [2, 4, 6])
        time_ms, shapes = frames[6]
        self.assertEqual(time_ms, 200.0)  # frame 6 at 25 fps
        self.assertGreaterEqual(len(shapes), 5)
        img = harness.read_frames(self.video)[5].copy()
        for vertices, area, _, polygon in shapes:
            self.assertEqual(vertices, len(polygon))
            self.assertTrue(100 < area < 10000)
            for k, start in enumerate(polygon):
                end = polygon[(k + 1) % len(polygon)]
                cv2.line(img, tuple(start), tuple(end), (0, 255, 0), 4, cv2.LINE_8, 0)
        snapshot = cv2.imread(self.work.snapshot, cv2.IMREAD_UNCHANGED)
        self.assertEqual(int(np.count_nonzero(img != snapshot)), 0)

    def test_csv_and_jsonl_describe_the_same_shapes(self):
        from_csv = csv_shapes(self.run_with_log("same.csv"))
        from_json = jsonl_shapes(self.run_with_log("same.jsonl"))
        self.assertEqual(from_json, from_csv)
        # An area above every shape: each processed frame still has its line, with no shapes.
        result = harness.run_tool(["--detections=empty.jsonl", self.video, "out.avi", 20000, 3],
                                  cwd=self.work.path)
        self.assertEqual(result.returncode, 0)
        with open(self.work.file("empty.jsonl"), encoding="ascii") as f:
            self.assertEqual(f.read(), '{"frame": 3, "time_ms": 80.000, "shapes": []}\n'
                                       '{"frame": 6, "time_ms": 200.000, "shapes": []}\n')
        # Fault: the first frame's time stamp, 0, was taken for a missing one (null).
        harness.run_tool(["--detections=first.jsonl", self.video, "out.avi", 20000, 1],
                         cwd=self.work.path)
        with open(self.work.file("first.jsonl"), encoding="ascii") as f:
            self.assertEqual(f.readline(), '{"frame": 1, "time_ms": 0.000, "shapes": []}\n')

    def test_interrupted_and_failing_logs_keep_whole_lines(self):
        long = harness.make_video(self.work.file("long.avi"), 1500, size=(160, 120), scene="sample")
        status, _, last = harness.interrupted_run(
            ["--detections=run.jsonl", long, "long-out.avi", 100, 1], self.work.path, 20)
        self.assertEqual(status, 130)
        self.assertEqual(sorted(jsonl_shapes(self.work.file("run.jsonl"))), list(range(1, last + 1)))
        # A log that cannot be written ends the run with the status of lost output.
        os.symlink("/dev/full", self.work.file("full.jsonl"))
        result = harness.run_tool(["--detections=full.jsonl", long, "full-out.avi", 100, 1],
                                  cwd=self.work.path)
        self.assertEqual(result.returncode, 74)
        self.assertLess(len(harness.StdoutReader.counts(result.stdout)), 100)
        lost = [line for line in result.stderr.splitlines() if b"full.jsonl" in line]
        self.assertEqual(len(lost), 1, result.stderr)


if __name__ == "__main__":
    unittest.main()
