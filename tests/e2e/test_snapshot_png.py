"""The snapshot's PNG: exactly the frame's pixels, whatever its size and content, valid for
pngcheck and read alike by libpng (through OpenCV) and Pillow."""
import os
import subprocess
import unittest

import cv2
import numpy as np
from PIL import Image

import harness

NOTHING_MARKED = 10 ** 9  # an area above every shape: the snapshot is the frame itself


def contents(height, width):
    rng = np.random.default_rng(width * 1000 + height)
    rows = np.arange(height, dtype=np.uint8).reshape(-1, 1, 1)
    cols = np.arange(width, dtype=np.uint8).reshape(1, -1, 1)
    return {
        "flat": np.full((height, width, 3), (40, 90, 200), np.uint8),  # igzip's weak spot: runs
        "noise": rng.integers(0, 256, (height, width, 3), np.uint8),
        "rows": np.broadcast_to(rows * np.uint8(7), (height, width, 3)).copy(),  # Sub's case
        "columns": np.broadcast_to(cols * np.uint8(5), (height, width, 3)).copy(),  # Up's case
    }


class SnapshotPngTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def snapshot_of(self, frame):
        """Runs the tool on a one-frame lossless video of `frame`; returns the snapshot's path."""
        height, width = frame.shape[:2]
        video = self.work.file("in.avi")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgr24",
                        "-s", "%dx%d" % (width, height), "-r", "250", "-i", "-", "-c:v", "ffv1",
                        video], input=frame.tobytes(), check=True, timeout=harness.RUN_LIMIT)
        snapshot = self.work.file("snap.png")
        if os.path.exists(snapshot):
            os.remove(snapshot)  # an earlier case's snapshot must not stand in for this one
        result = harness.run_tool(["--snapshot=" + snapshot, video, "out.avi", NOTHING_MARKED, 1],
                                  cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return snapshot

    def test_any_size_and_content_round_trips_exactly(self):
        for height, width in ((1, 1), (3, 7), (241, 321), (600, 1000)):
            for name, frame in contents(height, width).items():
                with self.subTest(size=(width, height), content=name):
                    snapshot = self.snapshot_of(frame)
                    check = subprocess.run(["pngcheck", "-q", snapshot], capture_output=True,
                                           timeout=harness.RUN_LIMIT)
                    self.assertEqual(check.returncode, 0, check.stdout)
                    decoded = cv2.imread(snapshot, cv2.IMREAD_UNCHANGED)
                    self.assertTrue(np.array_equal(decoded, frame))
                    with Image.open(snapshot) as image:
                        self.assertEqual(image.mode, "RGB")
                        self.assertTrue(np.array_equal(np.asarray(image), frame[:, :, ::-1]))

    def test_size_stays_near_the_library_png(self):
        """At most 5 % over cv2.imencode's PNG of a sample scene; on flat frames and noise, at
        most 15 % or 16 KiB over, whichever allows more."""
        video = harness.make_video(self.work.file("scene.avi"), 1, size=(1920, 1080),
                                   scene="sample")
        scene = harness.read_frames(video)[0]
        frames = {"sample scene": (scene, 1.05), "flat": (contents(1080, 1920)["flat"], None),
                  "noise": (contents(480, 640)["noise"], None)}
        for name, (frame, limit) in frames.items():
            with self.subTest(content=name):
                library = len(cv2.imencode(".png", frame)[1])
                allowed = library * limit if limit else max(library * 1.15, library + 16 * 1024)
                self.assertLessEqual(os.path.getsize(self.snapshot_of(frame)), allowed)


if __name__ == "__main__":
    unittest.main()
