"""The command line from outside: usage, numbers, refusals, the counter, the recording's format."""
import contextlib
import os
import unittest

import harness
from harness import counter, run_tool

SIZE = (176, 144)


class CommandLineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.ten = harness.make_video(cls.work.file("ten.avi"), 10, size=SIZE)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def setUp(self):
        self.out = self.work.file("out-%s.avi" % self._testMethodName)
        self.forget_snapshot()

    def forget_snapshot(self):
        if os.path.exists(self.work.snapshot):
            os.remove(self.work.snapshot)

    def run_in_work(self, *args, **kwargs):
        return run_tool(args, cwd=self.work.path, **kwargs)

    def assert_refused(self, result, word):
        self.assertEqual(result.returncode, 255)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
        self.assertTrue(result.stderr.endswith(b"\n"))
        self.assertIn(word.encode(), result.stderr)

    def test_short_command_lines_print_usage_and_create_nothing(self):
        for words in ([], [self.ten, self.out, "100"]):
            with self.subTest(words=len(words)):
                result = self.run_in_work(*words)
                self.assertEqual(result.stdout, harness.USAGE)
                self.assertEqual(result.returncode, 255)
                self.assertFalse(os.path.exists(self.out))
                self.assertFalse(os.path.exists(self.work.snapshot))

    def test_extra_words_are_ignored(self):
        result = self.run_in_work(self.ten, self.out, 100000, 1, "extra", "words")
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 11)))
        self.assertEqual(len(harness.read_frames(self.out)), 10)

    def test_counter_runs_to_the_first_processed_iteration_past_the_end(self):
        cases = [  # frames, skip rate, last count, frames recorded
            (10, "3", 12, 3),
            (4, "10", 10, 0),
            (0, "1", 1, 0),
        ]
        for frames, skip, last, recorded in cases:
            with self.subTest(frames=frames, skip=skip):
                self.forget_snapshot()
                video = harness.make_video(self.work.file("in%d.avi" % frames), frames, size=SIZE)
                result = self.run_in_work(video, self.out, 100000, skip)
                self.assertEqual(result.returncode, 0)
                self.assertEqual(result.stdout, counter(1, last))
                self.assertEqual(len(harness.read_frames(self.out)), recorded)
                # Nothing processed means nothing snapshotted either.
                self.assertEqual(os.path.exists(self.work.snapshot), recorded > 0)

    def test_negative_skip_rate_selects_the_frames_of_its_absolute_value(self):
        results = []
        for skip in ("3", "-3"):
            with contextlib.suppress(FileNotFoundError):
                os.remove(self.out)  # each run must write its own recording
            result = self.run_in_work(self.ten, self.out, 100000, skip)
            frames = [harness.frame_index(f) for f in harness.read_frames(self.out)]
            results.append((result.returncode, result.stdout, frames))
        self.assertEqual(results[0], (0, counter(1, 12), [3, 6, 9]))
        self.assertEqual(results[1], results[0])

    def test_zero_skip_rate_is_refused_before_any_file_is_touched(self):
        for word in ("0", "abc"):
            with self.subTest(word=word):
                self.assert_refused(self.run_in_work(self.ten, self.out, 100, word), word)
                self.assertFalse(os.path.exists(self.out))
                self.assertFalse(os.path.exists(self.work.snapshot))

    def test_unreadable_input_leaves_the_output_alone(self):
        junk = self.work.file("junk.avi")
        with open(junk, "wb") as f:
            f.write(b"not a video\n")
        for source in (self.work.file("missing.avi"), junk):
            with self.subTest(source=os.path.basename(source)):
                result = self.run_in_work(source, self.out, 100, 1)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                self.assertFalse(os.path.exists(self.out))
                with open(self.out, "wb") as f:
                    f.write(b"keep me")
                os.utime(self.out, ns=(10**18, 10**18))
                result = self.run_in_work(source, self.out, 100, 1)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                with open(self.out, "rb") as f:
                    self.assertEqual(f.read(), b"keep me")
                self.assertEqual(os.stat(self.out).st_mtime_ns, 10**18)
                os.remove(self.out)

    def test_library_log_is_quiet_unless_the_user_asks(self):
        missing = self.work.file("missing.avi")
        # Catches the library's own log leaking out, and an unopened input left unexplained.
        self.assertEqual(self.run_in_work(missing, self.out, 100, 1).stderr,
                         b"shapemark: cannot open input '%s': no such file\n" % missing.encode())
        env = harness.headless_env(OPENCV_LOG_LEVEL="WARNING")
        chatty = self.run_in_work(missing, self.out, 100, 1, env=env)
        self.assertEqual(chatty.returncode, 1)
        self.assertNotEqual(chatty.stderr, b"")

    def test_output_naming_the_input_is_refused(self):
        folder = self.work.file("same")
        os.makedirs(folder)
        video = harness.make_video(os.path.join(folder, "in.avi"), 3, size=SIZE)
        with open(video, "rb") as f:
            original = f.read()
        os.symlink("in.avi", os.path.join(folder, "link.avi"))
        os.link(video, os.path.join(folder, "hard.avi"))
        for spelling in ("same/in.avi", "same/link.avi", "./same/in.avi", "same/../same/in.avi",
                         "same/hard.avi"):
            with self.subTest(output=spelling):
                result = self.run_in_work("same/in.avi", spelling, 100, 1)
                self.assert_refused(result, spelling)
                with open(video, "rb") as f:
                    self.assertEqual(f.read(), original)

    def test_recording_has_the_codec_whole_frame_rate_and_size_of_the_input(self):
        for fps, expected in (("29.97", "29/1"), ("300", "300/1")):
            with self.subTest(fps=fps):
                video = harness.make_video(self.work.file("fps.avi"), 6, fps=fps, size=SIZE)
                if fps == "29.97":
                    self.assertEqual(harness.ffprobe_stream(video)["r_frame_rate"], "2997/100")
                self.assertEqual(self.run_in_work(video, self.out, 100, 1).returncode, 0)
                stream = harness.ffprobe_stream(self.out)
                self.assertEqual(stream["r_frame_rate"], expected)
                self.assertEqual(stream["codec_tag_string"], "MP42")
                self.assertEqual((int(stream["width"]), int(stream["height"])), SIZE)

if __name__ == "__main__":
    unittest.main()
