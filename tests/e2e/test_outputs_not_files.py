"""Outputs that are not regular files: FIFOs, devices, standard output. Each test starts from a
way such an output lost data, or destroyed the node, with status 0."""
import os
import select
import stat
import subprocess
import time
import unittest

import cv2
import numpy as np

import harness
from harness import make_video, run_tool


def read_fifo(path, keep=None, limit=harness.RUN_LIMIT):
    """Reads the FIFO at `path` until its writer closes it, or only its first `keep` bytes;
    never waits more than `limit` seconds. Returns what was read."""
    fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    data = b""
    deadline = time.monotonic() + limit
    try:
        while keep is None or len(data) < keep:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                break
            chunk = os.read(fd, 65536)
            if not chunk:
                break  # a writer came and closed it (before any, the FIFO is not readable)
            data += chunk
    finally:
        os.close(fd)
    return data


class OutputsNotFiles(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)
        self.video = make_video(self.work.file("in.avi"), 3, size=(160, 120), scene="sample")

    def start(self, args, **kwargs):
        tool = subprocess.Popen([harness.SHAPEMARK, "--no-windows"] + [str(a) for a in args],
                                env=harness.headless_env(), cwd=self.work.path,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kwargs)
        self.addCleanup(lambda: tool.poll() is None and tool.kill())
        return tool

    def test_fifo_snapshot_is_written_into(self):
        # Fault: the PNG was renamed over the FIFO, whose reader waited in vain.
        fifo = self.work.file("snap.png")
        os.mkfifo(fifo)
        tool = self.start(["--snapshot=" + fifo, self.video, "o.avi", 100, 1])
        png = read_fifo(fifo)
        tool.communicate(timeout=harness.RUN_LIMIT)
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))
        image = cv2.imdecode(np.frombuffer(png, np.uint8), cv2.IMREAD_COLOR)
        self.assertIsNotNone(image)
        self.assertTrue(harness.green_mask(image).any())

    def test_fifo_snapshot_gets_every_snapshot_in_frame_order(self):
        # Fault: an encoder committed its draft as soon as it was done, so a quick flat frame's
        # snapshot overtook the noisy frame before it. Each frame carries its number as the
        # grey level of one block; the FIFO keeps every snapshot, in the order committed.
        video = self.work.file("mixed.avi")
        writer = cv2.VideoWriter(video, cv2.VideoWriter_fourcc(*"MJPG"), 25, (640, 480))
        noise = np.random.default_rng(7).integers(0, 256, (480, 640, 3), np.uint8)
        for k in range(1, 13):
            frame = noise.copy() if k % 2 else np.zeros_like(noise)
            frame[:16, :16] = k * 16
            writer.write(frame)
        writer.release()
        fifo = self.work.file("snap.png")
        os.mkfifo(fifo)
        fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        keep_open = os.open(fifo, os.O_WRONLY)  # no end of file between snapshots
        self.addCleanup(os.close, fd)
        self.addCleanup(os.close, keep_open)
        tool = self.start(["--snapshot=" + fifo, video, "o.avi", 100000, 1])
        data = b""
        deadline = time.monotonic() + harness.RUN_LIMIT
        while time.monotonic() < deadline:
            running = tool.poll() is None
            if select.select([fd], [], [], 0.1)[0]:
                data += os.read(fd, 1 << 20)
            elif not running:
                break
        tool.communicate(timeout=harness.RUN_LIMIT)
        self.assertEqual(tool.returncode, 0)
        signature = b"\x89PNG\r\n\x1a\n"
        numbers = [int(round(cv2.imdecode(np.frombuffer(signature + png, np.uint8),
                                          cv2.IMREAD_COLOR)[4:12, 4:12].mean() / 16))
                   for png in data.split(signature)[1:]]
        self.assertEqual(numbers, list(range(1, 13)))

    def test_device_snapshot_keeps_the_device(self):
        # Fault: as root, --snapshot=/dev/null replaced the device with a PNG file. A stand-in
        # node of the same device, in the work folder, leaves the machine's own alone.
        node = self.work.file("null")
        try:
            os.mknod(node, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        except PermissionError:
            self.skipTest("making a device node needs root")
        result = run_tool(["--no-windows", "--snapshot=" + node, self.video, "o.avi", 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(stat.S_ISCHR(os.stat(node).st_mode))

    def test_recording_whose_writes_fail_is_lost_output(self):
        # Fault: /dev/full, or a FIFO whose reader left, lost every frame with status 0.
        os.symlink("/dev/full", self.work.file("full.avi"))
        result = run_tool(["--no-windows", "--no-snapshot", self.video, "full.avi", 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 74, result.stderr)
        self.assertEqual(result.stderr, b"shapemark: recording 'full.avi' is incomplete (writes "
                         b"to it fail: No space left on device)\n")
        fifo = self.work.file("f.avi")
        os.mkfifo(fifo)
        long_video = make_video(self.work.file("long.avi"), 60, size=(320, 240), scene="sample")
        tool = self.start(["--no-snapshot", long_video, fifo, 100, 1])
        read_fifo(fifo, keep=1000)
        _, err = tool.communicate(timeout=harness.RUN_LIMIT)
        self.assertEqual(tool.returncode, 74, err)
        self.assertIn(b"is incomplete (its reader has gone: Broken pipe)", err)

    def test_fifo_mp4_is_never_replaced_by_a_file(self):
        # Fault: the library removed the FIFO after its failed open (an .mp4 cannot stream),
        # and the next codec's attempt recorded to a regular file of that name.
        fifo = self.work.file("out.mp4")
        os.mkfifo(fifo)
        tool = self.start(["--no-snapshot", self.video, fifo, 100, 1])
        read_fifo(fifo)
        _, err = tool.communicate(timeout=harness.RUN_LIMIT)
        self.assertIn(b"cannot record to", err)
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))

    def test_output_on_standard_output_is_refused(self):
        # Fault: the counter went into the log that standard output also carried, over its
        # header. A character device (here /dev/null) takes both and is not refused.
        os.symlink("/dev/stdout", self.work.file("so.csv"))
        args = ["--no-windows", "--no-snapshot", "--detections=so.csv", self.video, "o.avi", 0, 1]
        piped = run_tool(args, cwd=self.work.path)
        self.assertEqual((piped.returncode, piped.stdout), (255, b""))
        self.assertIn(b"detection log 'so.csv' is where standard output goes", piped.stderr)
        same = self.work.file("same.csv")
        with open(same, "wb") as stdout:
            result = subprocess.run([harness.SHAPEMARK] + args[:2] + ["--detections=same.csv"] +
                                    [str(a) for a in args[3:]], stdout=stdout,
                                    stderr=subprocess.PIPE, cwd=self.work.path,
                                    env=harness.headless_env(), timeout=harness.RUN_LIMIT)
        self.assertEqual(result.returncode, 255, result.stderr)
        self.assertEqual(os.path.getsize(same), 0)
        discarded = subprocess.run([harness.SHAPEMARK] + [str(a) for a in args],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   cwd=self.work.path, env=harness.headless_env(),
                                   timeout=harness.RUN_LIMIT)
        self.assertEqual(discarded.returncode, 0, discarded.stderr)


if __name__ == "__main__":
    unittest.main()
