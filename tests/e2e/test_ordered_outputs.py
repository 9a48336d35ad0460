"""Outputs written off the main thread: the same bytes as a plain serial run, drained on every
way out; and windowed runs that keep the frame period."""
import os
import signal
import statistics
import threading
import time
import unittest

import cv2

import harness
from harness import counter
from test_detector_e2e import expected_marking

AREA = 100


def serial_run(video, recording, skip):
    """What a one-thread run writes, step by step: the recording's bytes, the last snapshot's
    pixels and the counter."""
    capture = cv2.VideoCapture(video)
    size = (int(capture.get(cv2.CAP_PROP_FRAME_WIDTH)), int(capture.get(cv2.CAP_PROP_FRAME_HEIGHT)))
    writer = cv2.VideoWriter(recording, cv2.VideoWriter_fourcc(*"MP42"),
                             int(capture.get(cv2.CAP_PROP_FPS)), size, True)
    count, last, out = 0, None, b""
    while True:
        ok, frame = capture.read()
        count += 1
        out += b"%d/n" % count
        if count % skip:
            continue
        if not ok:
            break
        last, _ = expected_marking(frame, AREA)
        writer.write(last)
    writer.release()
    with open(recording, "rb") as f:
        return f.read(), last.tobytes(), out


class CountClock:
    """Notes when each count reaches standard output."""

    def __init__(self, process):
        self.times = []
        self.thread = threading.Thread(target=self._read, args=(process.stdout,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        while True:
            chunk = os.read(stream.fileno(), 65536)
            if not chunk:
                return
            now = time.monotonic()
            self.times += [now] * chunk.count(b"/n")


class OrderedOutputsTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def read(self, name):
        with open(self.work.file(name), "rb") as f:
            return f.read()

    def test_outputs_are_the_bytes_of_a_serial_run(self):
        video = harness.make_video(self.work.file("in.avi"), 40, size=(320, 240), scene="sample")
        for skip in (1, 3):
            with self.subTest(skip=skip):
                expected = serial_run(video, self.work.file("serial.avi"), skip)
                result = harness.run_tool([video, "out.avi", AREA, skip], cwd=self.work.path)
                self.assertEqual(result.returncode, 0)
                # The snapshot by its pixels: its compressed bytes are the encoder's own.
                snapshot = cv2.imread(self.work.snapshot, cv2.IMREAD_UNCHANGED)
                self.assertEqual((self.read("out.avi"), snapshot.tobytes(), result.stdout),
                                 expected)

    def test_interrupt_drains_every_processed_frame(self):
        video = harness.make_video(self.work.file("long.avi"), 1500, size=(160, 120),
                                   scene="sample")
        status, out, last = harness.interrupted_run([video, "out.avi", AREA, 1],
                                                    self.work.path, 30)
        self.assertEqual((status, out), (130, counter(1, last)))
        recorded = harness.read_frames(self.work.file("out.avi"))
        self.assertEqual(len(recorded), last)
        frame = harness.read_frames(video)[last - 1]
        snapshot = cv2.imread(self.work.snapshot, cv2.IMREAD_UNCHANGED)
        self.assertEqual(snapshot.tobytes(), expected_marking(frame, AREA)[0].tobytes())
        self.assertEqual(os.listdir(os.path.dirname(self.work.snapshot)), ["cage3.png"])

    @unittest.skipIf(harness.SANITIZED, "a sanitizer's slowdown says nothing about pacing")
    def test_windowed_run_keeps_the_frame_period_and_does_not_race_after_a_stall(self):
        period = 0.1  # a 10 fps tag
        video = harness.make_video(self.work.file("hd.avi"), 300, fps=10, size=(1280, 720),
                                   scene="sample")
        with harness.private_display("2000x2400x24") as env:
            process = harness.start_tool([video, "out.avi", AREA, 1], env, cwd=self.work.path)
            self.addCleanup(process.wait, timeout=harness.RUN_LIMIT)
            self.addCleanup(process.kill)
            clock = CountClock(process)
            harness.wait_until(lambda: len(clock.times) >= 20)
            process.send_signal(signal.SIGSTOP)  # a stall, as when the machine is busy
            time.sleep(8 * period)
            stalled = len(clock.times)
            process.send_signal(signal.SIGCONT)
            harness.wait_until(lambda: len(clock.times) >= stalled + 12)
            process.send_signal(signal.SIGINT)
            self.assertEqual(process.wait(timeout=harness.RUN_LIMIT), 130)
        gaps = [b - a for a, b in zip(clock.times, clock.times[1:])]
        # The work of a 1280x720 frame in three windows comes within the period, not on top.
        steady = statistics.median(gaps[5:stalled - 2])
        self.assertGreater(steady, 0.9 * period)
        self.assertLess(steady, 1.08 * period)
        # After the stall, one late frame comes at once; then the schedule starts afresh.
        after = gaps[stalled - 1:stalled + 9]
        self.assertLessEqual(sum(1 for gap in after if gap < period / 2), 2, after)


if __name__ == "__main__":
    unittest.main()
