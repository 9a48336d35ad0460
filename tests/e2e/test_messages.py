"""Messages that name the cause, inputs below 1 fps, and displays that do not answer. Each test
starts from a run that used to blame the wrong cause, lose the recording or abort."""
import contextlib
import os
import subprocess
import unittest

import numpy as np

import harness
from harness import counter, make_video, run_tool


class MessagesTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def lossless_video(self, name, frames, size, fps):
        """`frames` grey frames of `size` at `fps` (any ffmpeg rate, "1/2" included)."""
        path = self.work.file(name)
        pixels = np.full((frames, size[1], size[0], 3), 128, np.uint8)
        subprocess.run(["ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                        "%dx%d" % size, "-r", fps, "-i", "-", "-c:v", "ffv1", path],
                       input=pixels.tobytes(), check=True, timeout=harness.RUN_LIMIT)
        return path

    def assert_warned(self, args, warning, frames, user=None):
        tool, env = harness.SHAPEMARK, harness.headless_env()
        if user is not None:
            # Fault: under a folder that the user cannot enter, the tool's own library cannot
            # load (status 127), which failed this check wherever the checkout was private.
            tool, env = harness.tool_for_any_user(self.work.file("tool"))
        command = [tool, "--no-windows"] + [str(a) for a in args]
        if user is not None:
            command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user,
                       "--clear-groups"] + command
        result = subprocess.run(command, env=env, cwd=self.work.path, capture_output=True,
                                timeout=harness.RUN_LIMIT)
        # Reported once; the run goes on without a recording.
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, counter(1, frames + 1), warning))

    def test_unrecordable_output_names_its_cause(self):
        # Fault: each of these was blamed on the container, "try a name ending in .avi".
        video = make_video(self.work.file("in.avi"), 3, size=(160, 120))
        os.mkdir(self.work.file("folder.avi"))
        self.assert_warned([video, "folder.avi", 100, 1],
                           b"shapemark: cannot record to 'folder.avi' (it is a folder)\n", 3)
        tiny = self.lossless_video("tiny.avi", 3, (1, 1), "250")
        self.assert_warned([tiny, "out.avi", 100, 1], b"shapemark: cannot record to 'out.avi' "
                           b"(the encoder refuses a frame size of 1x1)\n", 3)
        if os.geteuid() != 0:
            self.skipTest("a read-only file needs a user that root can become")
        os.chmod(self.work.path, 0o755)
        os.chmod(video, 0o644)
        locked = self.work.file("locked.avi")
        with open(locked, "wb") as f:
            f.write(b"earlier recording")
        os.chmod(locked, 0o444)
        self.assert_warned([video, locked, 100, 1], b"shapemark: cannot record to '%s' "
                           b"(the file is read-only)\n" % locked.encode(), 3, user=65534)
        with open(locked, "rb") as f:
            self.assertEqual(f.read(), b"earlier recording")

    def test_input_below_one_fps_is_recorded_at_its_own_rate(self):
        # Fault: 0.5 fps was cut to 0, which the encoder refuses: nothing was recorded.
        video = self.lossless_video("slow.avi", 3, (160, 120), "1/2")
        result = run_tool(["--no-windows", video, "out.avi", 100, 1], cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, counter(1, 4), b""))
        output = self.work.file("out.avi")
        self.assertEqual(len(harness.read_frames(output)), 3)
        self.assertEqual(harness.ffprobe_stream(output)["r_frame_rate"], "1/2")

    def test_display_that_does_not_accept_runs_headless(self):
        # Fault: the window toolkit aborted the run (status 134) on a display over the network
        # that refused the connection, hung up, answered garbage or refused the cookie, on a
        # DISPLAY it cannot read and on a stale WAYLAND_DISPLAY; it hung on a silent one.
        video = make_video(self.work.file("in.avi"), 5, size=(160, 120))
        cases = [("DISPLAY=" + value, harness.headless_env(DISPLAY=value), None)
                 for value in ("garbage", ":abc", ":0x")]
        cases.append(("stale Wayland", harness.headless_env(WAYLAND_DISPLAY="wayland-gone",
                                                             XDG_RUNTIME_DIR=self.work.path),
                      None))
        cases += [(b, None, b) for b in
                  ("refuses", "silent", "hangs up", "garbage", "refuses the cookie")]
        for name, env, behaviour in cases:
            with self.subTest(name), contextlib.ExitStack() as stack:
                if behaviour is not None:
                    display = stack.enter_context(harness.fake_tcp_display(behaviour))
                    env = harness.headless_env(DISPLAY=display)
                result = run_tool([video, "out.avi", 100, 1], cwd=self.work.path, env=env)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, counter(1, 6),
                                  b"shapemark: no display found; windows are off\n"))
                self.assertEqual(len(harness.read_frames(self.work.file("out.avi"))), 5)

    def test_display_over_tcp_that_answers_keeps_its_windows(self):
        # Fault this guards against: the probe taking a live server (which refuses a request
        # without credentials) for a silent one.
        read_fd, write_fd = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-listen", "tcp",
                                   "-screen", "0", "640x480x24", "-noreset"],
                                  pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        try:
            with os.fdopen(read_fd) as pipe:
                number = pipe.readline().strip()
            video = make_video(self.work.file("in.avi"), 5, size=(160, 120))
            env = harness.headless_env(DISPLAY="127.0.0.1:" + number)
            result = run_tool([video, "out.avi", 100, 1], cwd=self.work.path, env=env)
        finally:
            server.terminate()
            server.wait(timeout=30)
        # A leak checker may add its summary to the windowed run's standard error.
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 6)), result.stderr)
        self.assertNotIn(b"no display", result.stderr)


if __name__ == "__main__":
    unittest.main()
