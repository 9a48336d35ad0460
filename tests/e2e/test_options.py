"""The command line around the four words: help, version, options, the progress line, the
recording formats and the shell completion."""
import os
import pty
import re
import subprocess
import unittest

import harness
from harness import counter, run_tool

BUILD = os.path.dirname(os.path.abspath(harness.SHAPEMARK))
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIZE = (160, 120)


def help_options(text):
    return re.findall(r"^  (--[a-z-]+)", text, re.M)


def man_options(page):
    # Each option is a tagged paragraph: ".TP", then ".B \-\-name" or ".BI \-\-name= VALUE".
    return [m.replace("\\-", "-") for m in re.findall(r"^\.TP\n\.BI? (\\-\\-[a-z\\-]+)", page, re.M)]


class OptionsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = harness.make_video(cls.work.file("in.avi"), 6, size=SIZE, scene="sample")

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def run_in_work(self, *args, **kwargs):
        return run_tool(args, cwd=self.work.path, **kwargs)

    def test_help_and_version_match_the_man_page_and_the_project(self):
        shown = self.run_in_work("--help")
        self.assertEqual((shown.returncode, shown.stderr), (0, b""))
        text = shown.stdout.decode()
        self.assertIn("INPUT OUTPUT AREASIZE SKIPRATE", text)
        with open(os.path.join(BUILD, "man", "shapemark.1"), encoding="utf-8") as page:
            self.assertEqual(help_options(text), man_options(page.read()))
        self.assertGreaterEqual(len(help_options(text)), 8)
        with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
            version = re.search(r"project\(shapemark VERSION ([0-9.]+)", cmake.read()).group(1)
        self.assertEqual(self.run_in_work("--version").stdout, b"shapemark %s\n" % version.encode())

    def test_mistakes_are_named_and_touch_nothing(self):
        out = self.work.file("never.avi")
        cases = [(["--colour", self.video, out, "100", "1"], b"--colour"),
                 (["--snapshot"], b"--snapshot"),
                 (["--no-windows", "--no-windows", self.video, out, "100", "1"], b"--no-windows"),
                 (["--no-windows=yes", self.video, out, "100", "1"], b"--no-windows"),
                 (["--snapshot=a.png", "--no-snapshot", self.video, out, "100", "1"], b"--no-snapshot"),
                 (["--detections=log.txt", self.video, out, "100", "1"], b"log.txt"),
                 (["--no-windows", self.video, out], b"INPUT OUTPUT"),
                 (["--snapshot", self.video, self.video, out, "100", "1"], b"input file itself")]
        for args, named in cases:
            with self.subTest(args=args[:2]):
                before = sorted(os.listdir(self.work.path))
                result = self.run_in_work(*args)
                self.assertEqual((result.returncode, result.stdout), (255, b""))
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                self.assertIn(named, result.stderr)
                self.assertEqual(sorted(os.listdir(self.work.path)), before)
        self.assertIn(b"--help", self.run_in_work("--colour").stderr)

    def test_snapshot_options_and_headless_by_choice(self):
        default = self.run_in_work(self.video, "a.avi", 100, 1)
        with open(self.work.snapshot, "rb") as f:
            expected = f.read()
        os.remove(self.work.snapshot)
        # A display that cannot answer: any window call would abort the run.
        env = harness.headless_env(DISPLAY="127.0.0.1:59")
        chosen = self.run_in_work("--no-windows", "--snapshot", "mine.png", "--", self.video,
                                  "b.avi", 100, 1, env=env)
        self.assertEqual((chosen.returncode, chosen.stdout, chosen.stderr), (0, counter(1, 7), b""))
        self.assertEqual(default.stdout, chosen.stdout)
        with open(self.work.file("mine.png"), "rb") as f:
            self.assertEqual(f.read(), expected)
        # Made under a unique temporary name, it still gets the mode of any new file.
        umask = os.umask(0)
        os.umask(umask)
        self.assertEqual(os.stat(self.work.file("mine.png")).st_mode & 0o777, 0o666 & ~umask)
        self.assertFalse(os.path.exists(self.work.snapshot))
        none = self.run_in_work("--no-snapshot", "--no-windows", self.video, "c.avi", 100, 1)
        self.assertEqual(none.returncode, 0)
        self.assertFalse(os.path.exists(self.work.snapshot))
        for name in ("b.avi", "c.avi"):
            with open(self.work.file("a.avi"), "rb") as a, open(self.work.file(name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)

    def run_on_terminal(self, *args):
        """Runs the tool with standard error on a pseudo-terminal; returns (status, stderr)."""
        master, slave = pty.openpty()
        process = subprocess.Popen([harness.SHAPEMARK] + [str(a) for a in args], cwd=self.work.path,
                                   env=harness.headless_env(), stdout=subprocess.DEVNULL,
                                   stderr=slave)
        os.close(slave)
        seen = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal closes with the last writer
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        return process.wait(timeout=harness.RUN_LIMIT), seen

    def test_progress_line_on_a_terminal_only(self):
        video = harness.make_video(self.work.file("long.avi"), 400, fps=50, size=SIZE)
        status, seen = self.run_on_terminal("--no-windows", video, "p.avi", 100000, 1)
        self.assertEqual(status, 0)
        redraws = re.findall(rb"\r(shapemark: \d+/400 frames \(\d+%\), [\d.]+ fps, \d+:\d\d "
                             rb"elapsed, \d+:\d\d left)\x1b\[K", seen)
        self.assertGreater(len(redraws), 0, seen)
        self.assertRegex(seen, rb"\rshapemark: 400 frames read, 400 processed, 0 shapes marked, "
                               rb"recorded to p\.avi, [\d.]+ s, \d+ threads? on \d+ CPUs?"
                               rb"\x1b\[K\r?\n\Z")
        self.assertEqual(self.run_on_terminal("--no-progress", "--no-windows", video, "p.avi",
                                              100000, 1), (0, b""))
        # Not a terminal: nothing unless asked; asked, whole lines.
        quiet = self.run_in_work("--no-windows", video, "p.avi", 100000, 1)
        self.assertEqual(quiet.stderr, b"")
        logged = self.run_in_work("--progress", "--no-windows", video, "p.avi", 100000, 1)
        self.assertRegex(logged.stderr, rb"^(shapemark: \d+/400 frames [^\r\n]*\n)*shapemark: 400 "
                                        rb"frames read, 400 processed, 0 shapes marked, [^\r\n]*\n$")

    def test_recordings_in_the_container_the_name_asks_for(self):
        for name, codec in (("out.mp4", "h264"), ("out.mkv", "msmpeg4v2"), ("out.webm", "vp8")):
            with self.subTest(name=name):
                result = self.run_in_work("--no-windows", self.video, name, 100, 2)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                path = self.work.file(name)
                self.assertEqual(harness.ffprobe_stream(path)["codec_name"], codec)
                self.assertTrue(harness.decodes_cleanly(path))
                self.assertEqual(len(harness.read_frames(path)), 3)

    def test_bash_completion(self):
        os.makedirs(self.work.file("clips"), exist_ok=True)
        for name in ("clips/a.avi", "clips/b.MP4", "clips/notes.txt", "clips/snap.png"):
            open(self.work.file(name), "w").close()

        def complete(*words):
            line = " ".join(words)
            script = ('source "%s"; COMP_WORDS=(%s); COMP_CWORD=%d; _shapemark; '
                      'printf "%%s\\n" "${COMPREPLY[@]}"'
                      % (os.path.join(BUILD, "completion", "shapemark"), line, len(words) - 1))
            result = subprocess.run(["bash", "-c", script], cwd=self.work.path, capture_output=True,
                                    text=True, timeout=30, check=True)
            return sorted(filter(None, result.stdout.split("\n")))

        self.assertEqual(complete("shapemark", "--no-s"), ["--no-snapshot"])
        self.assertEqual(complete("shapemark", "--snapshot", "clips/"), ["clips/snap.png"])
        self.assertEqual(complete("shapemark", "--no-windows", "clips/"),
                         ["clips/a.avi", "clips/b.MP4"])
        self.assertEqual(complete("shapemark", "clips/a.avi", "out.avi", "10", ""), [])


if __name__ == "__main__":
    unittest.main()
