"""Interrupting a run: the first SIGINT or SIGTERM ends it cleanly, a second one kills it."""
import contextlib
import os
import signal
import unittest

import harness


class InterruptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        # Long enough that no run here reaches the end of its input.
        cls.long = harness.make_video(cls.work.file("long.avi"), 1500, size=(160, 120))
        cls.short = harness.make_video(cls.work.file("short.avi"), 2, size=(160, 120))

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def start(self, video, skip, env=None):
        process = harness.start_tool([video, "out.avi", 100000, skip],
                                     env or harness.headless_env(), cwd=self.work.path)
        self.addCleanup(process.wait, timeout=harness.RUN_LIMIT)
        self.addCleanup(process.kill)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.stderr.close)
        return process

    def test_first_signal_ends_the_run_with_a_complete_recording(self):
        for signum, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(signal=signum.name):
                with contextlib.suppress(FileNotFoundError):
                    os.remove(self.work.file("out.avi"))  # each run must write its own recording
                process = self.start(self.long, 1)
                reader = harness.StdoutReader(process)
                harness.wait_until(lambda: reader.last_count() >= 20)
                process.send_signal(signum)
                returncode, out, _ = harness.finish(process, reader)
                self.assertEqual(returncode, status)
                last = harness.StdoutReader.counts(out)[-1]
                self.assertLess(last, 1500)
                self.assertEqual(out, harness.counter(1, last))
                output = self.work.file("out.avi")
                self.assertTrue(harness.decodes_cleanly(output))
                # The iteration under way when the signal came was finished and recorded.
                indices = [harness.frame_index(f) for f in harness.read_frames(output)]
                self.assertEqual(indices, list(range(1, last + 1)))

    def blocked_run(self):
        """A run stuck writing its counter to a full pipe, past the end of a short input."""
        process = self.start(self.short, 10**9)
        harness.wait_until(lambda: harness.blocked_on_full_stdout(process))
        return process

    @unittest.skipIf(harness.THREAD_SANITIZED, "ThreadSanitizer runs a signal handler only once "
                     "the thread leaves its system call, here a write blocked for good")
    def test_second_signal_kills_at_once(self):
        for first, second in ((signal.SIGINT, signal.SIGINT), (signal.SIGTERM, signal.SIGTERM),
                              (signal.SIGINT, signal.SIGTERM)):
            with self.subTest(first=first.name, second=second.name):
                process = self.blocked_run()
                process.send_signal(first)
                # The handler has run once the process no longer catches the signal.
                harness.wait_until(lambda: not harness.catches(process.pid, first))
                process.send_signal(second)
                self.assertEqual(process.wait(timeout=30), -second)


if __name__ == "__main__":
    unittest.main()
