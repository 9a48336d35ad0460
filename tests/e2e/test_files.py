"""Files: outputs that would be one file, the video library's names for files, two runs on one
output, a log on a full disk, .mp4 on a full disk, snapshot drafts after a kill. Each test
starts from a way a user or a machine has lost data."""
import csv
import fcntl
import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import cv2
import numpy as np

import harness
from harness import counter, make_video, read_frames, run_tool
from test_many_machines import readme_block


class FilesTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def small_disk(self, size):
        """A tmpfs of `size` in the work folder; skips without the right to mount one."""
        mount_point = self.work.file("small disk")
        os.mkdir(mount_point)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs",
                                  mount_point], capture_output=True, timeout=30)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs here: %s"
                          % mounted.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", "-l", mount_point], timeout=30)
        return mount_point

    def test_dangling_link_between_outputs_is_refused(self):
        # Fault: the check compared names when the link's target did not exist yet, so the
        # recording was written into the log through the link and the rows were gone.
        video = make_video(self.work.file("in.avi"), 3, size=(160, 120))
        os.symlink("d.csv", self.work.file("o.avi"))
        result = run_tool(["--no-windows", "--detections=d.csv", video, "o.avi", 100, 1],
                          cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (255, b""))
        self.assertEqual(result.stderr,
                         b"shapemark: detection log 'd.csv' is the output too; choose another\n")
        self.assertFalse(os.path.lexists(self.work.file("d.csv")))
        self.assertEqual(os.readlink(self.work.file("o.avi")), "d.csv")

    def test_library_names_for_the_input_are_refused(self):
        # Fault: the check compared the words, while the library reads "file:x.avi" as x.avi
        # (and "pipe:0", "concat:", "tee:" as the files behind them): the input was destroyed.
        video = make_video(self.work.file("x.avi"), 3, size=(160, 120))
        with open(video, "rb") as f:
            original = f.read()
        for words in (["x.avi", "file:x.avi"], ["file:x.avi", "x.avi"],
                      ["x.avi", "tee:o.avi|x.avi"], ["concat:x.avi", "x.avi"],
                      ["pipe:0", "x.avi"], ["x.avi", "http:o.avi"]):
            with self.subTest(words=words), open(video, "rb") as stdin:
                result = subprocess.run([harness.SHAPEMARK, "--no-windows", "--no-snapshot"] +
                                        words + ["100", "1"], stdin=stdin, capture_output=True,
                                        cwd=self.work.path, env=harness.headless_env(),
                                        timeout=harness.RUN_LIMIT)
                self.assertEqual((result.returncode, result.stdout), (255, b""), result.stderr)
                with open(video, "rb") as f:
                    self.assertEqual(f.read(), original)
        self.assertEqual(sorted(os.listdir(self.work.path)), ["C:", "x.avi"])

    def test_output_another_run_holds_is_refused(self):
        # Fault: two runs on one output both ended 0, the read-back unable to tell whose frames
        # the file held. A lock held here stands in for the other run's, on the log; the run
        # refused leaves no recording of its own behind.
        video = make_video(self.work.file("in.avi"), 3, size=(160, 120))
        log = self.work.file("d.csv")
        with open(log, "w", encoding="ascii") as held:
            held.write("kept\n")
            held.flush()
            fcntl.flock(held, fcntl.LOCK_EX)
            result = run_tool(["--no-windows", "--detections=d.csv", video, "new.avi", 100, 1],
                              cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (255, b""))
        self.assertEqual(result.stderr, b"shapemark: detection log 'd.csv' is being written by "
                         b"another run; wait for it to end, or choose another\n")
        with open(log, encoding="ascii") as f:
            self.assertEqual(f.read(), "kept\n")
        self.assertFalse(os.path.exists(self.work.file("new.avi")))

    def test_readme_many_files_recipe_keeps_every_result(self):
        # Fault: the recipe named results by the file's base name, so clips of one name in
        # different folders were written over each other.
        bin_folder = self.work.file("bin")
        os.mkdir(bin_folder)
        os.symlink(os.path.abspath(shutil.which(harness.SHAPEMARK)),
                   os.path.join(bin_folder, "shapemark"))
        inputs = {"videos/a/clip.avi": 3, "videos/b/clip.avi": 5, "videos/a/clip.mkv": 4}
        for name, frames in inputs.items():
            os.makedirs(self.work.file(os.path.dirname(name)), exist_ok=True)
            make_video(self.work.file(name), frames, size=(160, 120))
        env = harness.headless_env(PATH=bin_folder + ":" + os.environ["PATH"])
        subprocess.run(["sh", "-c", readme_block("<!-- many-files: recipe -->")], check=True,
                       cwd=self.work.path, env=env, timeout=harness.RUN_LIMIT)
        for name, frames in inputs.items():
            self.assertEqual(len(read_frames(self.work.file("marked/" + name + ".avi"))), frames)
            self.assertTrue(os.path.isfile(self.work.file("marked/" + name + ".png")))

    def test_longest_snapshot_names_are_written(self):
        # Fault: the draft's name, the snapshot's own plus ".tmpXXXXXXXX", broke NAME_MAX.
        video = make_video(self.work.file("in.avi"), 2, size=(160, 120))
        name = "a" * 251 + ".png"
        for mode in ([], ["--snapshot-at-end"]):
            with self.subTest(mode=mode):
                result = run_tool(["--no-windows"] + mode + ["--snapshot=" + name, video, "o.avi",
                                                             100, 1], cwd=self.work.path)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIsNotNone(cv2.imread(self.work.file(name)))
                os.remove(self.work.file(name))

    def test_drafts_a_kill_left_are_removed_by_the_next_run(self):
        # Fault: a kill between a draft's link and its rename left the draft for good. Only
        # the tool's own drafts go, and only old ones: a fresh one may be another run's.
        video = make_video(self.work.file("in.avi"), 2, size=(160, 120))
        folder = self.work.file("shots")
        os.mkdir(folder)
        names = {".shapemark-0123abcd.tmp": 120, ".shapemark-89abcdef.tmp": 0,
                 "notes.tmp": 120, ".shapemark-probe.tmp": 120}
        for name, age in names.items():
            path = os.path.join(folder, name)
            with open(path, "wb"):
                pass
            os.utime(path, (time.time() - age, time.time() - age))
        result = run_tool(["--no-windows", "--snapshot=shots/s.png", video, "o.avi", 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(folder)), [".shapemark-89abcdef.tmp",
                                                      ".shapemark-probe.tmp", "notes.tmp",
                                                      "s.png"])

    def test_full_disk_under_the_log_leaves_whole_rows(self):
        # Fault: the write that met the full disk left part of a row, which a CSV reader takes
        # for a whole one with a polygon cut short.
        disk = self.small_disk("16k")
        video = make_video(self.work.file("in.avi"), 200, size=(640, 480), scene="sample")
        log = os.path.join(disk, "d.csv")
        result = run_tool(["--no-windows", "--detections=" + log, video, "out.avi", 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 74, result.stderr)
        made_it = re.search(rb"detection log '.*' is incomplete: (\d+) frames made it",
                            result.stderr)
        self.assertIsNotNone(made_it, result.stderr)
        with open(log, "rb") as f:
            self.assertTrue(f.read().endswith(b"\n"))
        with open(log, newline="", encoding="ascii") as f:
            rows = list(csv.DictReader(f))
        for row in rows:
            self.assertEqual(len(row["polygon"].split(" ")), 2 * int(row["vertices"]), row)
        # Every frame of this scene has shapes: the count in the line is the frames in the file.
        frames = sorted({int(row["frame"]) for row in rows})
        self.assertEqual(frames, list(range(1, int(made_it.group(1)) + 1)))
        self.assertGreater(len(frames), 2)

    def test_mp4_on_a_full_disk_says_what_it_loses(self):
        # Fault: "0 of 300 frames made it" and nothing else, while the README promised that
        # the frames before a loss decode; an .mp4 writes its index last.
        disk = self.small_disk("48k")
        video = make_video(self.work.file("in.avi"), 300, size=(320, 240), scene="sample")
        output = os.path.join(disk, "out.mp4")
        result = run_tool(["--no-windows", video, output, 100, 1], cwd=self.work.path)
        self.assertEqual(result.returncode, 74, result.stderr)
        lost = [line for line in result.stderr.splitlines() if output.encode() in line]
        self.assertEqual(len(lost), 1, result.stderr)
        self.assertIn(b".mp4 and .mov lose everything then, .mkv and .avi keep what was written",
                      lost[0])

    def test_killed_run_leaves_no_snapshot_draft(self):
        # Fault: drafts were named files while written and while waiting for their turn, so a
        # SIGKILL left *.tmpXXXXXX files beside the snapshot. Noise and flat frames in turn
        # make drafts wait: a flat frame's draft is done long before the noise frame ahead.
        # The kills come early in the 30 frames, so that no run can end before its kill.
        video = self.work.file("in.avi")
        writer = cv2.VideoWriter(video, cv2.VideoWriter_fourcc(*"MJPG"), 250, (1000, 750))
        noise = np.random.default_rng(1).integers(0, 256, (750, 1000, 3), np.uint8)
        for i in range(30):
            writer.write(noise if i % 2 == 0 else np.full_like(noise, 128))
        writer.release()
        leftovers = []
        for attempt in range(4):
            folder = self.work.file("shots%d" % attempt)
            os.mkdir(folder)
            snapshot = os.path.join(folder, "s.png")
            tool = harness.start_tool(["--no-windows", "--snapshot=" + snapshot, video, "out.avi",
                                       100, 1], harness.headless_env(), cwd=self.work.path)
            try:
                reader = harness.StdoutReader(tool)
                harness.wait_until(lambda: reader.last_count() >= 3 + 2 * attempt)
                tool.send_signal(signal.SIGKILL)
                tool.wait(timeout=harness.RUN_LIMIT)
            finally:
                if tool.poll() is None:
                    tool.kill()
                    tool.wait()
            self.assertEqual(tool.returncode, -signal.SIGKILL)
            leftovers += [n for n in os.listdir(folder) if n != "s.png"]
        # A kill in the instant between naming a finished draft and renaming it over the
        # snapshot leaves that one draft (a later run removes it once stale); the fault left
        # drafts after nearly every kill.
        self.assertLessEqual(len(leftovers), 1, leftovers)
        self.assertTrue(all(re.fullmatch(r"\.shapemark-[0-9a-f]{8}\.tmp", n) for n in leftovers),
                        leftovers)
        # Fault: such a draft kept for ever, or a live run's draft (a recent one) removed.
        folder = self.work.file("shots0")
        for name, age in ((".shapemark-0000aaaa.tmp", 120), (".shapemark-0000bbbb.tmp", 0)):
            with open(os.path.join(folder, name), "wb"):
                pass
            os.utime(os.path.join(folder, name), (time.time() - age,) * 2)
        run_tool(["--no-windows", "--snapshot=" + os.path.join(folder, "s.png"), video,
                  "out.avi", 100, 1], cwd=self.work.path)
        self.assertNotIn(".shapemark-0000aaaa.tmp", os.listdir(folder))
        self.assertIn(".shapemark-0000bbbb.tmp", os.listdir(folder))

if __name__ == "__main__":
    unittest.main()
