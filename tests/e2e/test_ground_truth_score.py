"""The ground-truth benchmark's own parts: a generated scene's truth, and the scorer reading the
tool's real detection log. A wrong scorer would make every figure of the benchmark wrong."""
import csv
import json
import os
import subprocess
import sys
import tempfile
import unittest

from harness import RUN_LIMIT, SHAPEMARK

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "bench"))
from score_detections import read_detections, read_truth, score  # noqa: E402

GENERATOR = os.path.join(ROOT, "tools", "make_truth_scenes.py")


class GroundTruthScore(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.video = os.path.join(cls.folder.name, "scene.avi")
        cls.truth = os.path.join(cls.folder.name, "truth.jsonl")
        subprocess.run([sys.executable, GENERATOR, cls.video, cls.truth, "--frames=3", "--seed=5"],
                       check=True, timeout=RUN_LIMIT)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def write_log(self, frames):
        path = os.path.join(self.folder.name, "log.jsonl")
        with open(path, "w") as log:
            for frame, polygons in frames.items():
                log.write(json.dumps({"frame": frame, "shapes": [{"polygon": p} for p in polygons]}) + "\n")
        return path

    def test_truth_itself_scores_perfectly_and_a_duplicate_is_a_false_positive(self):
        # Faults caught: frames numbered off by one against the tool's log, an ignored shape
        # counted, a duplicate not counted.
        truth = read_truth(self.truth)
        self.assertEqual(sorted(truth), [1, 2, 3])
        kept = {f: [s["polygon"] for s in row["shapes"]] for f, row in truth.items()}
        perfect = score(truth, read_detections(self.write_log(kept)))
        self.assertEqual((perfect["precision"], perfect["recall"], perfect["vertex_accuracy"]),
                         (1.0, 1.0, 1.0))
        shape = next(s for s in truth[1]["shapes"] if not s["ignore"])
        kept[1].append(shape["polygon"])
        doubled = score(truth, read_detections(self.write_log(kept)))
        self.assertEqual((doubled["fp"], doubled["duplicates"]), (1, 1))

    def test_the_visible_part_of_a_shape_the_border_cuts_counts_neither_way(self):
        # Fault caught: a detector that marks what shows of a cut shape blamed for a false
        # positive, because the true polygon runs on outside the frame (IoU 0.33 here).
        cut = {"vertices": 4, "polygon": [[-100, 0], [50, 0], [50, 100], [-100, 100]],
               "ignore": True}
        truth = {1: {"frame": 1, "shapes": [cut]}}
        visible = score(truth, {1: [[[0, 0], [50, 0], [50, 100], [0, 100]]]})
        beside = score(truth, {1: [[[60, 0], [110, 0], [110, 100], [60, 100]]]})
        self.assertEqual((visible["fp"], visible["tp"], beside["fp"]), (0, 0, 1))

    def test_the_tools_csv_log_is_read_row_for_row(self):
        # Fault caught: a log format the scorer misreads, which would score a real run wrongly.
        log = os.path.join(self.folder.name, "shapes.csv")
        subprocess.run([SHAPEMARK, "--detections=" + log, "--snapshot=" + log + ".png", self.video,
                        os.path.join(self.folder.name, "out.avi"), "300", "1"],
                       check=True, timeout=RUN_LIMIT, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with open(log) as f:
            rows = list(csv.DictReader(f))
        self.assertGreater(len(rows), 0)
        read = read_detections(log)
        self.assertEqual(sorted((int(r["frame"]), int(r["vertices"])) for r in rows),
                         sorted((f, len(p)) for f, polygons in read.items() for p in polygons))


if __name__ == "__main__":
    unittest.main()
