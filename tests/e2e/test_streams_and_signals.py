"""Standard streams and signals: a closed stream takes no file, a hang-up stops a run as SIGTERM
does, an inherited ignore holds, and a file-size limit is a failed write."""
import json
import os
import resource
import signal
import subprocess
import unittest

import harness
from harness import counter, read_frames

SIZE = (160, 120)


class StreamsAndSignalsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        # Long enough that no signalled run reaches its end.
        cls.long = harness.make_video(cls.work.file("long.avi"), 1500, size=SIZE)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def setUp(self):
        self.out = self.work.file("out.avi")
        self.log = self.work.file("log.jsonl")
        for path in (self.out, self.log):
            if os.path.exists(path):
                os.remove(path)

    def test_closed_standard_stream_takes_no_file(self):
        # Catches: the input opened on the free descriptor, then written over by the counter
        # or the library's muted error stream (a few frames recorded, status 0).
        with open(self.long, "rb") as f:
            original = f.read()
        for fd in (0, 1, 2):
            with self.subTest(closed=fd):
                result = subprocess.run(
                    [harness.SHAPEMARK, "--no-windows", self.long, self.out, "400", "1"],
                    cwd=self.work.path, env=harness.headless_env(), capture_output=True,
                    preexec_fn=lambda fd=fd: os.close(fd), timeout=harness.RUN_LIMIT)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, b"" if fd == 1 else counter(1, 1501))
                indices = [harness.frame_index(f) for f in read_frames(self.out)]
                self.assertEqual(indices, list(range(1, 1501)))
                with open(self.long, "rb") as f:
                    self.assertEqual(f.read(), original)

    def stopped_run(self, signals, preexec_fn=harness.default_stop_signals):
        """Sends `signals` in turn once 20 frames are counted, the next one once the tool no
        longer catches the last; returns (status, last count)."""
        process = harness.start_tool(["--no-windows", "--detections=" + self.log, self.long,
                                      self.out, 100000, 1], harness.headless_env(),
                                     cwd=self.work.path, preexec_fn=preexec_fn)
        reader = harness.StdoutReader(process)
        try:
            harness.wait_until(lambda: reader.last_count() >= 20)
            for signum in signals:
                process.send_signal(signum)
                harness.wait_until(lambda: process.poll() is not None
                                   or not harness.catches(process.pid, signum))
            status, out, _ = harness.finish(process, reader)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        last = harness.StdoutReader.counts(out)[-1]
        self.assertEqual(out, counter(1, last))
        return status, last

    def assert_outputs_hold(self, last):
        """The recording and the log both hold frames 1..last."""
        self.assertTrue(harness.decodes_cleanly(self.out))
        indices = [harness.frame_index(f) for f in read_frames(self.out)]
        self.assertEqual(indices, list(range(1, last + 1)))
        with open(self.log, encoding="utf-8") as f:
            self.assertEqual([json.loads(line)["frame"] for line in f], indices)

    def test_hang_up_finishes_the_recording_and_the_log(self):
        # Catches: SIGHUP killing the run (no index, a damaged last frame, the log ahead).
        status, last = self.stopped_run([signal.SIGHUP])
        self.assertEqual(status, 128 + signal.SIGHUP)
        self.assertLess(last, 1500)
        self.assert_outputs_hold(last)

    def test_inherited_ignore_is_kept(self):
        # The ignored signal comes first and must change nothing: the next one stops the run
        # cleanly. Had the tool caught the ignored one, its handler would have made the next one
        # kill at once. Catches a handler installed over an inherited ignore.
        for ignored, stop in ((signal.SIGINT, signal.SIGTERM), (signal.SIGHUP, signal.SIGTERM),
                              (signal.SIGTERM, signal.SIGINT)):
            with self.subTest(ignored=ignored.name):
                def ignore(ignored=ignored):
                    harness.default_stop_signals()
                    signal.signal(ignored, signal.SIG_IGN)

                status, last = self.stopped_run([ignored, stop], preexec_fn=ignore)
                self.assertEqual(status, 128 + stop)
                self.assert_outputs_hold(last)

    def test_file_size_limit_is_a_failed_write(self):
        # Catches SIGXFSZ killing the run (status -25, no word on what was lost).
        limit = 200 * 1024

        def limit_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        result = subprocess.run([harness.SHAPEMARK, "--no-windows", self.long, self.out, "100",
                                 "1"], cwd=self.work.path, env=harness.headless_env(),
                                capture_output=True, preexec_fn=limit_files,
                                timeout=harness.RUN_LIMIT)
        self.assertEqual(result.returncode, 74, result.stderr)
        self.assertRegex(result.stderr, rb"shapemark: recording '.*out\.avi' is incomplete: "
                                        rb"\d+ of \d+ frames made it")
        self.assertLessEqual(os.path.getsize(self.out), limit)


if __name__ == "__main__":
    unittest.main()
