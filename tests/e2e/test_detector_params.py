"""The detector's parameters from the command line and a --params file: the area window, the
vertex range, refused files, and --print-params read back."""
import json
import os
import unittest

import cv2
import numpy as np

import harness
from harness import run_tool

AREA = 100


def write_scene(path):
    """Three frames of a large square (14400 px², over the default bound of 10000), an octagon
    and a triangle, dark on a light ground, losslessly coded."""
    frame = np.full((480, 640, 3), 200, np.uint8)
    cv2.rectangle(frame, (40, 40), (160, 160), (40, 40, 40), -1)
    angles = np.arange(8) * np.pi / 4 + np.pi / 8
    octagon = np.stack([420 + 50 * np.cos(angles), 120 + 50 * np.sin(angles)], 1)
    cv2.fillConvexPoly(frame, octagon.round().astype(np.int32), (40, 40, 40))
    cv2.fillConvexPoly(frame, np.array([[100, 420], [200, 420], [150, 320]], np.int32),
                       (40, 40, 40))
    writer = cv2.VideoWriter(path, cv2.VideoWriter_fourcc(*"FFV1"), 25, (640, 480))
    for _ in range(3):
        writer.write(frame)
    writer.release()
    return path


def vertex_counts(shapes):
    """A shape wider than the threshold window is traced as a ring: two contours."""
    return {v for v, _ in shapes}


class DetectorParamsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = write_scene(cls.work.file("in.avi"))

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def shapes(self, *options, area=AREA):
        """(vertices, area) of the first frame's shapes, from the detection log."""
        log = self.work.file("log.jsonl")
        result = run_tool(list(options) + ["--no-snapshot", "--detections", log, self.video,
                                           self.work.file("out.avi"), area, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(log, encoding="ascii") as f:
            first = json.loads(f.readline())
        return sorted((s["vertices"], s["area"]) for s in first["shapes"])

    def write(self, name, text):
        with open(self.work.file(name), "w", encoding="ascii") as f:
            f.write(text)
        return self.work.file(name)

    def test_max_area_and_vertices_change_what_is_marked(self):
        # Catches --max-area or --vertices not reaching the contour scan (a bound still written
        # as a constant), and none read as 0.
        self.assertEqual(vertex_counts(self.shapes()), {3, 8})
        lifted = self.shapes("--max-area=none")
        self.assertTrue(any(a > 10000 for v, a in lifted if v == 4), lifted)
        self.assertEqual(vertex_counts(self.shapes("--vertices=3-6")), {3})

    def test_bad_files_are_refused_and_touch_nothing(self):
        # Catches a key FileStorage silently ignores or keeps the last of, a range not checked,
        # and a parse error without its line (the added %YAML line must not shift it).
        cases = {"unknown": ("max_vertices: 6\nmax_verticies: 5\n", b"max_verticies"),
                 "repeated": ("max_vertices: 6\nmax_vertices: 5\n", b"max_vertices"),
                 "range": ("threshold_block: 70\n", b"threshold_block must be odd, 3 to 1001"),
                 "broken": ("min_vertices: 4\nmax_vertices: [5\ncleanup_passes: 1\n",
                            b"broken.yml:3:")}
        for name, (text, named) in cases.items():
            with self.subTest(name=name):
                path = self.write(name + ".yml", text)
                before = sorted(os.listdir(self.work.path))
                result = run_tool(["--params", path, self.video, self.work.file("never.avi"),
                                   AREA, 1], cwd=self.work.path)
                self.assertEqual((result.returncode, result.stdout), (255, b""))
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                self.assertIn(named, result.stderr)
                self.assertEqual(sorted(os.listdir(self.work.path)), before)

    def test_printed_params_read_back_give_the_same_run(self):
        # Catches a printed key or value the reader takes otherwise (none, a tolerance rounded),
        # and the file winning over the command line.
        options = ["--max-area=none", "--vertices=4-8"]
        printed = run_tool(options + ["--print-params"], cwd=self.work.path)
        self.assertEqual((printed.returncode, printed.stderr), (0, b""))
        self.assertTrue(printed.stdout.startswith(b"%YAML:1.0\n"))
        path = self.write("printed.yml", printed.stdout.decode())
        self.assertEqual(self.shapes("--params", path), self.shapes(*options))
        self.assertEqual(vertex_counts(self.shapes("--params", path, "--vertices=3-8")), {3, 4, 8})

    def test_robust_from_options_and_file(self):
        # Catches --detector=robust not reaching the detector (classic run instead: the large
        # square comes out as a ring, two polygons), and the file's detector key read otherwise
        # than the option.
        options = ["--detector=robust", "--max-area=none"]
        robust = self.shapes(*options)
        self.assertEqual(sorted(v for v, _ in robust), [3, 4, 8], robust)
        path = self.write("robust.yml", "detector: robust\nmax_area: none\n")
        self.assertEqual(self.shapes("--params", path), robust)
        self.assertNotEqual(self.shapes("--max-area=none"), robust)

if __name__ == "__main__":
    unittest.main()
