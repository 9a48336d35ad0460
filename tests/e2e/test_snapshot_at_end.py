"""--snapshot-at-end: one snapshot, of the last processed frame, at every ending that finishes
the outputs; a contradiction with --no-snapshot."""
import os
import signal
import unittest

import cv2

import harness
from harness import StdoutReader
from test_detector_e2e import expected_marking

AREA = 100


class SnapshotAtEndTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.long = harness.make_video(cls.work.file("long.avi"), 1500, size=(160, 120),
                                      scene="sample")
        cls.frames = harness.read_frames(cls.long)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def setUp(self):
        for folder in (self.work.path, os.path.dirname(self.work.snapshot)):
            for name in os.listdir(folder):
                if name.endswith((".png", ".jsonl")) or ".tmp" in name:
                    os.remove(os.path.join(folder, name))

    def assert_snapshot_of(self, path, frame):
        snapshot = cv2.imread(path, cv2.IMREAD_UNCHANGED)
        self.assertIsNotNone(snapshot, path)
        self.assertEqual(snapshot.tobytes(), expected_marking(frame, AREA)[0].tobytes())

    def test_end_of_input_writes_the_last_processed_frame_to_path(self):
        short = harness.make_video(self.work.file("short.avi"), 12, size=(160, 120),
                                   scene="sample")
        result = harness.run_tool(["--snapshot-at-end", "--snapshot=end.png", short, "out.avi",
                                   AREA, 5], cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_snapshot_of(self.work.file("end.png"), harness.read_frames(short)[9])
        self.assertFalse(os.path.exists(self.work.snapshot))

    def test_an_interrupt_leaves_the_last_frame_and_nothing_before(self):
        process = harness.start_tool(["--snapshot-at-end", self.long, "out.avi", AREA, 1],
                                     harness.headless_env(), cwd=self.work.path)
        reader = StdoutReader(process)
        try:
            harness.wait_until(lambda: reader.last_count() >= 30)
            # Once, at the end: nothing is written while the run goes on.
            self.assertEqual(os.listdir(os.path.dirname(self.work.snapshot)), [])
            process.send_signal(signal.SIGINT)
            status, out, _ = harness.finish(process, reader)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.assertEqual(status, 130)
        self.assert_snapshot_of(self.work.snapshot, self.frames[StdoutReader.counts(out)[-1] - 1])
        self.assertEqual(os.listdir(os.path.dirname(self.work.snapshot)), ["cage3.png"])

    def test_lost_output_leaves_the_last_frame(self):
        os.symlink("/dev/full", self.work.file("full.jsonl"))
        result = harness.run_tool(["--snapshot-at-end", "--detections=full.jsonl", self.long,
                                   "out.avi", AREA, 1], cwd=self.work.path)
        self.assertEqual(result.returncode, 74)
        last = StdoutReader.counts(result.stdout)[-1]
        self.assertLess(last, len(self.frames))
        self.assert_snapshot_of(self.work.snapshot, self.frames[last - 1])

    def test_contradicts_no_snapshot(self):
        result = harness.run_tool(["--snapshot-at-end", "--no-snapshot", self.long, "none.avi",
                                   AREA, 1], cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (255, b""))
        self.assertIn(b"'--snapshot-at-end' and '--no-snapshot' contradict", result.stderr)
        self.assertFalse(os.path.exists(self.work.file("none.avi")))


if __name__ == "__main__":
    unittest.main()
