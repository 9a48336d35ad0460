"""What a run leaves behind: the recording's frames, the snapshot and the warnings about them."""
import contextlib
import fcntl
import os
import subprocess
import types
import unittest

import cv2
import numpy as np

import harness
from harness import counter, run_tool


class OutputsTest(unittest.TestCase):
    def work_dir(self, with_snapshot_folder=True):
        work = harness.WorkDir(with_snapshot_folder)
        self.addCleanup(work.cleanup)
        return work

    def test_recording_holds_every_nth_frame_in_input_order(self):
        work = self.work_dir()
        for frames, skip in ((12, 1), (11, 4), (5, 5)):
            with self.subTest(frames=frames, skip=skip):
                with contextlib.suppress(FileNotFoundError):
                    os.remove(work.file("out.avi"))  # each run must write its own recording
                video = harness.make_video(work.file("in.avi"), frames, size=(160, 120))
                result = run_tool([video, work.file("out.avi"), 100000, skip], cwd=work.path)
                self.assertEqual(result.returncode, 0)
                frames_out = harness.read_frames(work.file("out.avi"))
                recorded = [harness.frame_index(f) for f in frames_out]
                self.assertEqual(recorded, list(range(skip, frames + 1, skip)))

    def test_window_system_failing_after_all_leaves_the_output_untouched(self):
        # A display that answers the probe and then fails the window toolkit, which aborts
        # the process. The recording must not be left half made.
        work = self.work_dir()
        video = harness.make_video(work.file("in.avi"), 3, size=(160, 120))
        with open(work.file("out.avi"), "wb") as f:
            f.write(b"earlier recording")
        with harness.fake_tcp_display("accepts, then hangs up") as display:
            env = harness.headless_env(DISPLAY=display)
            result = run_tool([video, work.file("out.avi"), 100, 1], env=env, cwd=work.path)
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stdout, b"")
        with open(work.file("out.avi"), "rb") as f:
            self.assertEqual(f.read(), b"earlier recording")

    def test_snapshot_is_the_last_processed_frame_with_green_outlines(self):
        work = self.work_dir()
        video = harness.make_video(work.file("in.avi"), 8, size=(320, 240), scene="sample")
        result = run_tool([video, work.file("out.avi"), 100, 3], cwd=work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 9)))
        last = harness.read_frames(video)[5]  # count 6, the last multiple of 3
        snapshot = cv2.imread(work.snapshot, cv2.IMREAD_UNCHANGED)
        self.assertEqual(snapshot.shape, last.shape)
        changed = np.any(snapshot != last, axis=2)
        green = harness.green_mask(snapshot)
        self.assertGreater(np.count_nonzero(changed), 100)
        self.assertTrue(np.all(green[changed]), "a changed pixel is not pure green")
        # The replacement goes through a temporary file, which must not be left behind.
        self.assertEqual(os.listdir(os.path.dirname(work.snapshot)), ["cage3.png"])

    def test_missing_snapshot_folder_changes_nothing_else(self):
        runs = []
        for with_folder in (True, False):
            work = self.work_dir(with_folder)
            video = harness.make_video(work.file("in.avi"), 6, size=(160, 120))
            result = run_tool([video, "out.avi", 100000, 2], cwd=work.path)
            runs.append((result.returncode, result.stdout, result.stderr,
                         [f.tobytes() for f in harness.read_frames(work.file("out.avi"))]))
        self.assertEqual(runs[0][:2], (0, counter(1, 8)))
        self.assertEqual(len(runs[0][3]), 3)
        self.assertEqual(runs[1], runs[0])
        self.assertEqual(sorted(os.listdir(work.path)), ["in.avi", "out.avi"])

    def test_snapshot_folder_made_during_a_run_gets_the_last_frame(self):
        # Fault caught: a frame whose draft cannot be made is not encoded; were that remembered
        # for the rest of the run, the folder made mid-run would never get a snapshot.
        work = self.work_dir(with_snapshot_folder=False)
        video = harness.make_video(work.file("in.avi"), 2500, size=(160, 120))
        read_end, write_end = os.pipe()
        # Full after some 1500 counts, so the run stops part-way; it counts as stuck only with
        # 4 KiB queued, some 800 frames processed without the folder.
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 8192)
        with subprocess.Popen([harness.SHAPEMARK, video, "out.avi", "100000", "1"],
                              env=harness.headless_env(), cwd=work.path, stdout=write_end,
                              stderr=subprocess.DEVNULL) as process:
            os.close(write_end)
            self.addCleanup(process.kill)
            with os.fdopen(read_end, "rb") as out:
                stuck = types.SimpleNamespace(stdout=out, pid=process.pid)
                harness.wait_until(lambda: harness.blocked_on_full_stdout(stuck))
                self.assertFalse(os.path.exists(os.path.dirname(work.snapshot)))
                os.makedirs(os.path.dirname(work.snapshot))
                counts = harness.StdoutReader.counts(out.read())
            self.assertEqual(process.wait(timeout=harness.RUN_LIMIT), 0)
        self.assertEqual(counts[-1], 2501)
        snapshot = cv2.imread(work.snapshot, cv2.IMREAD_UNCHANGED)
        self.assertTrue(np.array_equal(snapshot, harness.read_frames(video)[-1]))

    def test_unrecordable_output_is_reported_and_the_run_goes_on(self):
        work = self.work_dir()
        video = harness.make_video(work.file("in.avi"), 4, size=(160, 120))
        recordable = run_tool([video, "out.avi", 100000, 1], cwd=work.path)
        # No back end records a container it does not know.
        result = run_tool([video, "out.xyz", 100000, 1], cwd=work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 5)))
        lines = result.stderr.splitlines()
        warnings = [line for line in lines if b"out.xyz" in line]
        self.assertEqual(len(warnings), 1, result.stderr)
        self.assertIn(b".avi", warnings[0])
        # The warning is the only line added: none of the video library's own chatter.
        self.assertEqual(len(lines), len(recordable.stderr.splitlines()) + 1, result.stderr)
        self.assertTrue(os.path.exists(work.snapshot))

if __name__ == "__main__":
    unittest.main()
