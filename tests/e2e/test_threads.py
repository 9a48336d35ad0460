"""How many threads a run uses: --threads, and the CPUs it was given."""
import os
import shutil
import subprocess
import unittest

import harness

SUMMARY_END = b", 1 thread on 1 CPU\n"


class ThreadsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = harness.make_video(cls.work.file("in.avi"), 12, size=(160, 120),
                                       scene="sample")

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def run_in_work(self, *args, prefix=()):
        return subprocess.run(list(prefix) + [harness.SHAPEMARK] + list(args),
                              env=harness.headless_env(), cwd=self.work.path,
                              capture_output=True, timeout=harness.RUN_LIMIT)

    # Catches a count of 0 let through, which would start no marking thread and hang.
    def test_zero_threads_is_refused_and_touches_nothing(self):
        result = self.run_in_work("--threads=0", self.video, "zero.avi", "100", "1")
        self.assertEqual((result.returncode, result.stdout), (255, b""))
        self.assertEqual(result.stderr,
                         b"shapemark: thread count '0' must be a whole number from 1 to 256\n")
        self.assertFalse(os.path.exists(self.work.file("zero.avi")))

    # Catches a count taken from the machine's cores rather than the affinity mask; and a
    # recording whose bytes change with the number of threads.
    def test_one_cpu_under_taskset_and_the_same_recording_with_more_threads(self):
        self.assertTrue(shutil.which("taskset"), "taskset (util-linux) is not installed")
        one = self.run_in_work("--progress", "--no-snapshot", "--no-windows", self.video, "one.avi",
                               "100", "1", prefix=("taskset", "-c", "0"))
        self.assertEqual(one.returncode, 0, one.stderr)
        self.assertTrue(one.stderr.endswith(SUMMARY_END), one.stderr)
        many = self.run_in_work("--threads=7", "--no-snapshot", "--no-windows", self.video,
                                "many.avi", "100", "1")
        self.assertEqual((many.returncode, many.stderr), (0, b""))
        with open(self.work.file("one.avi"), "rb") as one_file:
            with open(self.work.file("many.avi"), "rb") as many_file:
                self.assertTrue(one_file.read() == many_file.read(),
                                "the recording depends on the thread count")


if __name__ == "__main__":
    unittest.main()
