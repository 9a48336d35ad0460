"""What INPUT may be, and the one line an input that does not open gets."""
import functools
import http.server
import os
import subprocess
import threading
import unittest

import harness
from harness import counter, make_video, read_frames, run_tool

SIZE = (160, 120)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):  # pylint: disable=arguments-differ
        pass


class InputsTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)
        self.video = make_video(self.work.file("in.avi"), 6, size=SIZE)
        self.out = self.work.file("out.avi")

    def serve_work_folder(self):
        handler = functools.partial(QuietHandler, directory=self.work.path)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return "http://127.0.0.1:%d/" % server.server_port

    def test_an_input_that_does_not_open_gets_one_line_naming_why(self):
        # Catches the silent status 1 of before, a reason that names the wrong fault, the
        # library's own noise leaking out, and an output touched before the input opened.
        os.mkdir(self.work.file("folder"))
        with open(self.work.file("notes.avi"), "w", encoding="ascii") as f:
            f.write("not a video\n")
        url = self.serve_work_folder() + "missing.avi"
        cases = [("missing.avi", "no such file"), ("folder", "a folder"),
                 ("notes.avi", "not a video the library reads"),
                 ("/dev/video99", "no such camera"),
                 (url, "the server refused or answered an error (Server returned 404 Not Found)")]
        for word, reason in cases:
            with self.subTest(word=word):
                result = run_tool(["--no-windows", word, self.out, 100, 1], cwd=self.work.path)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                self.assertEqual(result.stderr.decode(),
                                 "shapemark: cannot open input '%s': %s\n" % (word, reason))
                self.assertFalse(os.path.exists(self.out))

    def test_dash_is_standard_input_beside_a_file_named_dash(self):
        # Catches '-' opened as a file name, a pipe that cannot be read, './-' not naming the
        # file, and standard input left out of the check that an output is not the input.
        with open(self.work.file("-"), "w", encoding="ascii") as f:
            f.write("not a video\n")
        with open(self.video, "rb") as video:
            piped = subprocess.run(["cat", self.video], stdout=subprocess.PIPE, check=True,
                                   timeout=harness.RUN_LIMIT).stdout
            result = subprocess.run([harness.SHAPEMARK, "--no-windows", "-", self.out, "100", "1"],
                                    input=piped, capture_output=True, cwd=self.work.path,
                                    env=harness.headless_env(), timeout=harness.RUN_LIMIT)
            self.assertEqual((result.returncode, result.stdout), (0, counter(1, 7)),
                             result.stderr)
            self.assertEqual(len(read_frames(self.out)), 6)
            result = subprocess.run([harness.SHAPEMARK, "--no-windows", "-", "in.avi", "100",
                                     "1"], stdin=video, capture_output=True, cwd=self.work.path,
                                    env=harness.headless_env(), timeout=harness.RUN_LIMIT)
            self.assertEqual(result.returncode, 255, result.stderr)
        result = run_tool(["--no-windows", "./-", self.out, 100, 1], cwd=self.work.path)
        self.assertEqual((result.returncode, result.stderr),
                         (1, b"shapemark: cannot open input './-': not a video the library "
                             b"reads\n"))

    def test_numbers_read_only_in_part_get_one_warning_each(self):
        # Catches a number read in part in silence (4e3 runs as 4), a value that changes with
        # the warning, and a warning on top of the refusal of a skip rate of 0.
        result = run_tool(["--no-windows", "--no-snapshot", self.video, self.out, "4e3", "1,000"],
                          cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 7)))
        self.assertEqual(result.stderr, b"shapemark: AREASIZE '4e3' is read as 4\n"
                                        b"shapemark: SKIPRATE '1,000' is read as 1\n")
        result = run_tool(["--no-windows", self.video, self.out, "4e3", "0x"],
                          cwd=self.work.path)
        self.assertEqual((result.returncode, result.stderr),
                         (255, b"shapemark: skip rate '0x' must be a whole number other than 0\n"))


if __name__ == "__main__":
    unittest.main()
