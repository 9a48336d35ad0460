"""Windowed runs on a private X display: the three windows, their pictures and the keyboard."""
import contextlib
import os
import signal
import subprocess
import unittest

import cv2
import numpy as np

import harness
from harness import counter

FRAMES = 1200  # enough that no run here reaches the end by itself


def screenshot(env, window):
    png = subprocess.run(["import", "-window", str(window), "png:-"], env=env,
                         capture_output=True, check=True, timeout=30).stdout
    return cv2.imdecode(np.frombuffer(png, np.uint8), cv2.IMREAD_COLOR)


def shows_sample_frame(image):
    """True once the window has painted a frame: much of the scene's light grey background."""
    background = np.all((image >= 185) & (image <= 215), axis=2)
    return np.count_nonzero(background) > 320 * 240 // 10


class WindowsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        stack = contextlib.ExitStack()
        cls.addClassCleanup(stack.close)  # runs even when set-up fails half-way
        cls.env = stack.enter_context(harness.private_display())
        cls.work = harness.WorkDir()
        stack.callback(cls.work.cleanup)
        cls.video = harness.make_video(cls.work.file("sample.avi"), FRAMES, size=(320, 240),
                                       scene="sample")

    def start(self, area=100, options=(), video=None):
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.work.file("out.avi"))  # each run must write its own recording
        process = harness.start_tool(list(options) + [video or self.video, "out.avi", area, 1],
                                     self.env, cwd=self.work.path)
        self.addCleanup(process.wait, timeout=harness.RUN_LIMIT)
        self.addCleanup(process.kill)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.stderr.close)
        return process, harness.StdoutReader(process)

    def window(self, process, title):
        found = harness.wait_until(lambda: harness.find_windows(self.env, title, process.pid)
                                   or process.poll() is not None)
        if found is True:
            self.fail("run ended before '%s' showed: %r" % (title, harness.finish(process)))
        self.assertEqual(len(found), 1, title)
        return found[0]

    def painted(self, window):
        """A screenshot of the window, once it shows a frame of the sample scene."""
        shots = []

        def ready():
            shots.append(screenshot(self.env, window))
            return shows_sample_frame(shots[-1])

        harness.wait_until(ready)
        return shots[-1]

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True,
                       timeout=30)

    def side_by_side(self, process, reader):
        """The Raw and Tracked windows, moved apart and painted since."""
        raw = self.window(process, "Raw")
        tracked = self.window(process, "Tracked")
        # The windows open on top of each other; side by side each one paints itself, by the
        # time two more frames have passed through the key wait, which handles the repaints.
        self.xdotool("windowmove", "--sync", tracked, 0, 600)
        self.xdotool("windowmove", "--sync", raw, 0, 300)
        moved = reader.last_count()
        harness.wait_until(lambda: reader.last_count() >= moved + 2)
        return raw, tracked

    def assert_ended_early(self, process, reader, status):
        returncode, out, _ = harness.finish(process, reader)
        self.assertEqual(returncode, status)
        last = harness.StdoutReader.counts(out)[-1]
        self.assertLess(last, FRAMES)
        self.assertEqual(out, counter(1, last))
        output = self.work.file("out.avi")
        self.assertTrue(harness.decodes_cleanly(output))
        self.assertEqual(len(harness.read_frames(output)), last)

    def test_raw_and_tracked_show_the_frame_before_and_after_marking(self):
        process, reader = self.start()
        self.window(process, "Video")
        raw, tracked = self.side_by_side(process, reader)
        self.assertTrue(harness.green_mask(self.painted(tracked)).any())
        self.assertFalse(harness.green_mask(self.painted(raw)).any())
        process.send_signal(signal.SIGINT)
        self.assertEqual(harness.finish(process)[0], 130)

    # Catches: ids drawn only on the recording's or the snapshot's copy, or after the frame went
    # to the windows (the Tracked window then shows no id), and ids drawn on the raw frame.
    def test_draw_ids_shows_ids_beside_outlines_in_tracked_only(self):
        # Two still squares: every frame is the same, so two runs' pictures compare pixel by
        # pixel, and only the ids can tell them apart.
        video = self.work.file("still.avi")
        writer = cv2.VideoWriter(video, cv2.VideoWriter_fourcc(*"MJPG"), 50, (320, 240))
        image = np.full((240, 320, 3), 200, np.uint8)
        for x in (60, 220):
            cv2.rectangle(image, (x, 100), (x + 40, 140), (60, 40, 30), cv2.FILLED)
        for _ in range(FRAMES):
            writer.write(image)
        writer.release()

        def steady(window, unlike=None):
            """A picture that two screenshots in a row agree on (no half-painted window), once
            it differs from `unlike`."""
            shots = [screenshot(self.env, window)]

            def ready():
                shots.append(screenshot(self.env, window))
                return (shows_sample_frame(shots[-1]) and np.array_equal(shots[-1], shots[-2])
                        and (unlike is None or not np.array_equal(shots[-1], unlike)))

            harness.wait_until(ready)
            return shots[-1]

        shots = {}
        for name, options in (("plain", ()), ("ids", ("--draw-ids",))):
            process, reader = self.start(options=options, video=video)
            raw, tracked = self.side_by_side(process, reader)
            # A shape has no id until it is confirmed: with ids, wait for a frame that shows one.
            shots[name] = (steady(tracked, shots["plain"][0] if shots else None), steady(raw))
            process.send_signal(signal.SIGINT)
            self.assertEqual(harness.finish(process)[0], 130)
        (plain, plain_raw), (ids, ids_raw) = shots["plain"], shots["ids"]
        outline = harness.green_mask(plain)
        self.assertTrue(outline.any())
        changed = np.any(ids != plain, axis=2)
        self.assertGreater(changed.sum(), 20)
        self.assertTrue(harness.green_mask(ids)[changed].all())
        near_outline = cv2.dilate(outline.astype(np.uint8), np.ones((41, 41), np.uint8)) > 0
        self.assertTrue(near_outline[changed].all())
        self.assertTrue(np.array_equal(ids_raw, plain_raw))
        self.assertFalse(harness.green_mask(ids_raw).any())

    def test_closed_tracked_window_comes_back(self):
        process, _ = self.start()
        first = self.window(process, "Tracked")
        harness.close_window(self.env, first)
        again = harness.wait_until(
            lambda: [w for w in harness.find_windows(self.env, "Tracked", process.pid)
                     if w != first])
        self.assertEqual(len(again), 1)
        self.assertIsNone(process.poll())
        process.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(process)[0], 143)

    def test_escape_ends_the_run_and_other_keys_do_not(self):
        process, reader = self.start(area=100000)
        video = self.window(process, "Video")
        harness.wait_until(lambda: reader.last_count() >= 10)
        harness.send_key(self.env, video, "a")
        harness.send_key(self.env, video, "space")
        typed_at = reader.last_count()
        # Every processed frame's wait reads the keyboard, so 30 frames later both were seen.
        harness.wait_until(lambda: reader.last_count() >= typed_at + 30)
        self.assertIsNone(process.poll())
        harness.send_key(self.env, video, "Escape")
        self.assert_ended_early(process, reader, 0)

    def test_interrupt_ends_a_windowed_run_cleanly(self):
        process, reader = self.start(area=100000)
        harness.wait_until(lambda: reader.last_count() >= 10)
        process.send_signal(signal.SIGINT)
        self.assert_ended_early(process, reader, 130)

    def test_headless_run_matches_windowed_run(self):
        video = harness.make_video(self.work.file("numbered.avi"), 30, size=(160, 120))
        runs = {}
        for name, env in (("windowed", self.env), ("headless", harness.headless_env())):
            with contextlib.suppress(FileNotFoundError):
                os.remove(self.work.file("out.avi"))  # each run must write its own recording
            result = harness.run_tool([video, "out.avi", 100000, 4], env=env, cwd=self.work.path)
            indices = [harness.frame_index(f)
                       for f in harness.read_frames(self.work.file("out.avi"))]
            runs[name] = (result.returncode, result.stdout, indices, result.stderr)
        self.assertEqual(runs["windowed"][:3], (0, counter(1, 32), list(range(4, 29, 4))))
        self.assertEqual(runs["headless"][:3], runs["windowed"][:3])
        self.assertEqual(runs["windowed"][3], b"")
        self.assertEqual(runs["headless"][3].count(b"\n"), 1)
        self.assertIn(b"windows", runs["headless"][3])


if __name__ == "__main__":
    unittest.main()
