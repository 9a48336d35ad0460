"""Failures that name their real cause: memory when the input opens, a file size limit, a pipe
for a container that must seek. Each used to be reported as another failure, or not at all."""
import os
import re
import resource
import stat
import subprocess
import unittest

import harness
from harness import counter, make_video, run_tool


def with_limit(which, value):
    """For preexec_fn: sets one resource limit in the child."""
    return lambda: resource.setrlimit(which, (value, value))


class LossCausesTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def run_limited(self, args, preexec_fn):
        return subprocess.run([harness.SHAPEMARK, "--no-windows", "--no-snapshot"] + args,
                              capture_output=True, cwd=self.work.path, preexec_fn=preexec_fn,
                              env=harness.headless_env(), timeout=harness.RUN_LIMIT)

    @unittest.skipIf(harness.SANITIZED, "a sanitizer reserves more address space than any limit")
    def test_input_that_cannot_open_for_memory_is_a_failure_of_its_own(self):
        # Catches: status 1 ("cannot be opened") and no word for a good input, when memory ran
        # out while it opened; or the library's next back end aborting the process.
        fifo = self.work.file("waiting.mkv")
        os.mkfifo(fifo)
        # What the tool holds when it starts to open the input: a run waiting on a FIFO.
        process = harness.start_tool(["--no-windows", "--no-snapshot", fifo, "out.avi", 100, 1],
                                     harness.headless_env(), cwd=self.work.path)
        try:
            harness.wait_until(lambda: open("/proc/%d/wchan" % process.pid).read()
                               == "wait_for_partner")
            with open("/proc/%d/status" % process.pid) as status:
                peak_kib = int(re.search(r"^VmPeak:\s*(\d+) kB", status.read(), re.M).group(1))
        finally:
            process.kill()
            process.communicate(timeout=harness.RUN_LIMIT)
        # Half a MiB more: far less than FFmpeg takes to open a 4K stream.
        big = self.work.file("big.mkv")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=3840x2160",
                        "-frames:v", "1", "-c:v", "ffv1", big], check=True,
                       timeout=harness.RUN_LIMIT)
        limit = (peak_kib + 512) * 1024
        result = self.run_limited([big, "out.avi", "100", "1"],
                                  with_limit(resource.RLIMIT_AS, limit))
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (71, b"", b"shapemark: out of memory\n"))
        self.assertFalse(os.path.exists(self.work.file("out.avi")))

    def test_file_size_limit_is_named_as_the_cause(self):
        # Catches: the recording's loss blamed on "an I/O error or a file system gone full"
        # under `ulimit -f`, with a disk that has room.
        video = make_video(self.work.file("in.avi"), 60, size=(320, 240))
        result = self.run_limited([video, "out.avi", "100", "1"],
                                  with_limit(resource.RLIMIT_FSIZE, 16 * 1024))
        self.assertEqual((result.returncode, result.stdout), (74, counter(1, 61)))
        self.assertRegex(result.stderr, rb"\Ashapemark: recording 'out.avi' is incomplete: "
                         rb"\d+ of 60 frames made it \(a write failed: File too large\)\n\Z")

    def test_mov_on_a_fifo_is_refused_for_want_of_seeking(self):
        # Catches: "the encoder refuses a frame rate of 25 fps" for a .mov FIFO, and the FIFO
        # deleted by the library's failed attempt.
        video = make_video(self.work.file("in.avi"), 3, size=(160, 120), fps=25)
        fifo = self.work.file("out.mov")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        result = run_tool(["--no-windows", "--no-snapshot", video, "out.mov", 100, 1],
                          cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, counter(1, 4), b"shapemark: cannot record to 'out.mov' (.mov needs "
                          b"a file it can seek back in, not a pipe); try .mkv or .avi\n"))
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))


if __name__ == "__main__":
    unittest.main()
