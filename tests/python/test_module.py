"""The Python module as a user meets it: the tool's own results, its guarantees, bad inputs."""
import json
import os
import pathlib
import struct
import subprocess
import threading
import unittest

import cv2
import numpy as np

import harness
import shapemark

AREA = 100
SKIP = 2


def as_logged(frame):
    """A frame's number, time and shapes as the detection log writes them."""
    time_ms = None if frame.time_ms is None else float("%.3f" % frame.time_ms)
    return (frame.number, time_ms, described(frame.shapes))


def described(shapes):
    """Shapes as the detection log writes them: vertices, area, centre and polygon."""
    return [(len(s.polygon), float("%.1f" % s.area),
             [float("%.2f" % s.centre[0]), float("%.2f" % s.centre[1])], s.polygon.tolist())
            for s in shapes]


def logged(path):
    with open(path, encoding="ascii") as f:
        records = [json.loads(line) for line in f]
    return [(r["frame"], r["time_ms"],
             [(s["vertices"], s["area"], s["centre"], s["polygon"]) for s in r["shapes"]])
            for r in records]


class ModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = harness.make_video(cls.work.file("in.avi"), 7, fps=25, size=(640, 480),
                                       scene="sample")
        result = harness.run_tool(["--detections", "log.jsonl", cls.video, "out.avi", AREA, SKIP],
                                  cwd=cls.work.path)
        assert result.returncode == 0, result.stderr
        cls.log = logged(cls.work.file("log.jsonl"))
        cls.decoded = harness.read_frames(cls.video)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_frames_give_what_the_tool_logs_and_marks(self):
        # Catches a frame rule, a time stamp, a polygon, an area or a centre that differs from
        # the tool's (a centre taken as the vertices' mean in either), and a draw() unlike its
        # marked frame.
        items = list(shapemark.frames(pathlib.Path(self.video), AREA, SKIP))
        self.assertEqual([as_logged(f) for f in items], self.log)
        self.assertEqual([f.number for f in items], [2, 4, 6])
        self.assertTrue(all(f.shapes for f in items))
        for f in items:
            self.assertEqual(np.count_nonzero(f.image != self.decoded[f.number - 1]), 0)
        last = items[-1]
        before = last.image.copy()
        snapshot = cv2.imread(self.work.snapshot, cv2.IMREAD_UNCHANGED)
        self.assertEqual(snapshot.shape, last.image.shape)
        self.assertEqual(np.count_nonzero(shapemark.draw(last.image, last.shapes) != snapshot), 0)
        self.assertEqual(np.count_nonzero(last.image != before), 0)  # the input is untouched

    def test_a_damaged_frame_is_skipped_and_still_counted(self):
        # Catches a damaged frame that ends the video, one left out of the count (every later
        # number would then be one off the frame it names), and a rule unlike the tool's.
        path = harness.make_video(self.work.file("numbered.avi"), 12, fps=250, size=(160, 120))
        with open(path, "rb") as f:
            data = bytearray(f.read())
        chunk = -1
        for _ in range(4):  # the third frame's chunk: the first tag is in the header
            chunk = data.index(b"00dc", chunk + 1)
        size = struct.unpack("<I", data[chunk + 4:chunk + 8])[0]
        data[chunk + 8:chunk + 8 + size] = bytes(size)
        with open(path, "wb") as f:
            f.write(data)
        for skip, numbers in [(1, [1, 2] + list(range(4, 13))), (3, [6, 9, 12])]:
            items = list(shapemark.frames(path, AREA, skip))
            self.assertEqual([f.number for f in items], numbers)
            self.assertEqual([harness.frame_index(f.image) for f in items], numbers)
            result = harness.run_tool(["--no-snapshot", "--detections", "damaged.jsonl", path,
                                       "damaged.avi", AREA, skip], cwd=self.work.path)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual([as_logged(f) for f in items],
                             logged(self.work.file("damaged.jsonl")))

    def test_views_and_threads_give_the_serial_results(self):
        # Catches strides read wrongly, state shared between calls, and a detect that writes
        # to its input.
        frames = self.decoded
        serial = [described(shapemark.detect(f, AREA)) for f in frames]
        for view in (frames[1][:, ::2], frames[1][::-1], frames[1][10:400, 5:600]):
            self.assertEqual(described(shapemark.detect(view, AREA)),
                             described(shapemark.detect(np.ascontiguousarray(view), AREA)))
        results = {}

        def work(k):
            results[k] = [[described(shapemark.detect(f, AREA)) for f in frames]
                          for _ in range(3)]

        threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=120)
        self.assertEqual(results, {k: [serial] * 3 for k in range(4)})
        for f, copy in zip(frames, harness.read_frames(self.video)):
            self.assertEqual(np.count_nonzero(f != copy), 0)

    def test_bad_inputs_are_refused_by_name(self):
        good = self.decoded[0]
        for image, error in [(good.astype(np.float32), TypeError), (good.tolist(), TypeError),
                             (good[:, :, 0], ValueError), (np.dstack([good, good[:, :, :1]]),
                                                           ValueError),
                             (good[:0], ValueError)]:
            for call in (lambda: shapemark.detect(image, AREA),
                         lambda: shapemark.draw(image, [])):
                with self.assertRaisesRegex(error, r"\(H, W, 3\) uint8"):
                    call()
        # Nothing found is an empty list: a flat image's one contour is larger than any shape.
        self.assertEqual(shapemark.detect(np.full((240, 320, 3), 90, np.uint8), AREA), [])
        missing = self.work.file("missing.avi")
        with self.assertRaises(OSError) as caught:
            shapemark.frames(missing, AREA)
        self.assertIn(missing, str(caught.exception))
        with self.assertRaisesRegex(ValueError, "skip_rate"):
            shapemark.frames(self.video, AREA, 0)

    def test_frames_choose_as_the_tool_and_tell_the_input(self):
        # Catches a selection rule of Python's own (a negative rate refused, or one that stops
        # before the tool's end), and properties that are not the input's.
        result = harness.run_tool(["--no-snapshot", "--detections", "negative.jsonl", self.video,
                                   "negative.avi", AREA, -SKIP], cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        walk = shapemark.frames(self.video, AREA, -SKIP)
        self.assertEqual([as_logged(f) for f in walk], logged(self.work.file("negative.jsonl")))
        self.assertEqual((walk.fps, walk.size, walk.frame_count), (25.0, (640, 480), 7))
        name = self.work.file("name\xff.avi").encode("utf-8", "surrogateescape")
        os.link(self.video, name)
        self.assertEqual([f.number for f in shapemark.frames(name, AREA, SKIP)], [2, 4, 6])

    def test_bad_arguments_raise_one_short_line_naming_them(self):
        # Catches pybind11's dump of every overload with the array printed, an int taken
        # modulo 2**32 (an area size, or an image's rows), a NUL that cuts a path short, and
        # an OSError that prints as "[Errno None] None".
        image = self.decoded[0]
        for value in ("100", 100.5):
            with self.assertRaises(TypeError) as caught:
                shapemark.detect(image, value)
            message = str(caught.exception)
            self.assertLess(len(message), 300)
            self.assertNotIn("\n", message)
            self.assertIn("area_size", message)
            self.assertIn("int", message)
        with self.assertRaises(OverflowError):
            shapemark.detect(image, 10**12)
        tall = np.lib.stride_tricks.as_strided(image[:1, :1], (2**32 + 40, 1, 3), (0, 3, 1))
        with self.assertRaises(OverflowError):
            shapemark.draw(tall, [])
        with self.assertRaises(ValueError):
            shapemark.frames(self.video + "\0junk", AREA)
        with self.assertRaises(FileNotFoundError) as caught:
            shapemark.frames(self.work.file("missing.avi"), AREA)
        self.assertNotIn("None", str(caught.exception))
        self.assertIn("numpy.ndarray", shapemark.detect.__doc__.splitlines()[0])

    def test_version_is_the_tool_version(self):
        out = subprocess.run([harness.SHAPEMARK, "--version"], capture_output=True, text=True,
                             timeout=harness.RUN_LIMIT, check=True).stdout
        self.assertRegex(shapemark.__version__, r"^\d+\.\d+\.\d+$")
        self.assertIn(shapemark.__version__, out.split())


if __name__ == "__main__":
    unittest.main()
