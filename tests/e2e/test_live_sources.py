"""Live sources: a stream faster than marking drops its oldest waiting frames and keeps pace;
pipes wait and never drop. That files never drop is held by test_streams_and_signals'
test_closed_standard_stream_takes_no_file (every one of 1500 frames recorded, read headless
as fast as the file allows)."""
import contextlib
import ctypes
import functools
import http.server
import json
import os
import re
import signal
import socket
import struct
import subprocess
import threading
import unittest

import harness
from harness import counter, read_frames

FRAMES, FPS, SIZE = 600, 400, (960, 540)  # 1.5 s of stream: cheap to decode, and no
# machine of 2 cores marks it as fast (about 9 ms of CPU per frame with the snapshot on)
if harness.SANITIZED:
    # A sanitizer checks every byte a frame's copies touch: at full size the reader alone took
    # over 120 s on a busy machine. Marking stays far slower than the stream either way.
    SIZE = (480, 270)
SHORT = 40  # frames through a pipe, stdin and HTTP: every one kept, so keep them few
DROPPED = re.compile(rb"shapemark: dropped (\d+) of (\d+) frames \(marking fell behind the "
                     rb"source\)\n\Z")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):  # pylint: disable=arguments-differ
        pass

    def handle(self):
        # The tool asks once for the length alone, and hangs up on the body.
        with contextlib.suppress(ConnectionError):
            super().handle()


class ChunkedHandler(QuietHandler):
    """Sends a file without its length, as a broadcast over HTTP does."""
    protocol_version = "HTTP/1.1"

    def do_GET(self):  # pylint: disable=invalid-name
        self.send_response(200)
        self.send_header("Content-Type", "video/x-matroska")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        with open(self.translate_path(self.path), "rb") as video:
            for chunk in iter(lambda: video.read(65536), b""):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        self.wfile.write(b"0\r\n\r\n")


def reader_closes(path):
    """An inotify descriptor on the FIFO at path, and a function counting its readers' closes."""
    open_event, close_event = 0x20, 0x10  # IN_OPEN, IN_CLOSE_NOWRITE: opens keep closes apart
    libc = ctypes.CDLL(None, use_errno=True)
    watch = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
    if watch < 0 or libc.inotify_add_watch(watch, os.fsencode(path), open_event | close_event) < 0:
        raise OSError(ctypes.get_errno(), "inotify")

    def count():
        events, offset, closes = os.read(watch, 65536), 0, 0
        while offset < len(events):
            _, mask, _, length = struct.unpack_from("iIII", events, offset)
            closes += bool(mask & close_event)
            offset += 16 + length
        return closes
    return watch, count


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port):
    with open("/proc/net/tcp", encoding="ascii") as table:
        return any(line.split()[1] == "0100007F:%04X" % port and line.split()[3] == "0A"
                   for line in table.readlines()[1:])


class LiveSourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.clip = harness.make_video(cls.work.file("clip.mkv"), FRAMES, fps=FPS, size=SIZE)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def setUp(self):
        self.out = self.work.file("out.avi")
        self.log = self.work.file("log.jsonl")
        for path in (self.out, self.log):
            if os.path.exists(path):
                os.remove(path)

    def serve(self):
        """FFmpeg sends the clip at its own rate to the first client; returns the URL."""
        port = free_port()
        server = subprocess.Popen(["ffmpeg", "-v", "error", "-re", "-i", self.clip, "-c", "copy",
                                   "-f", "matroska", "tcp://127.0.0.1:%d?listen=1" % port],
                                  stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(server.wait, timeout=harness.RUN_LIMIT)
        self.addCleanup(lambda: server.poll() is None and server.kill())
        harness.wait_until(lambda: listening(port))
        return "tcp://127.0.0.1:%d" % port

    def assert_outputs_agree(self):
        """The recording decodes, its frames are in source order, and the log numbers each by
        its place in the source; returns the recorded frames' numbers."""
        self.assertTrue(harness.decodes_cleanly(self.out))
        indices = [harness.frame_index(f) for f in read_frames(self.out)]
        self.assertEqual(indices, sorted(set(indices)))
        with open(self.log, encoding="utf-8") as f:
            self.assertEqual([json.loads(line)["frame"] for line in f], indices)
        return indices

    def test_a_stream_faster_than_marking_drops_and_keeps_pace(self):
        # Catches a stream read on the marking thread or a queue that keeps every frame (both
        # drop nothing, so the run lags the stream), dropped frames left out of the counter or
        # renumbered in the log, and a missing or miscounted closing line. How far behind the
        # stream a run ends is measured, not asserted: a wall-clock bound flakes on a busy
        # machine (see docs/PERFORMANCE.md).
        url = self.serve()
        result = harness.run_tool(["--no-windows", "--snapshot=" + self.work.file("s.png"),
                                   "--detections=" + self.log, url, self.out, 100, 1],
                                  cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, FRAMES + 1)),
                         result.stderr)
        found = DROPPED.search(result.stderr)
        self.assertIsNotNone(found, result.stderr)
        dropped, total = int(found.group(1)), int(found.group(2))
        self.assertEqual(total, FRAMES)
        indices = self.assert_outputs_agree()
        self.assertGreater(dropped, 0)
        self.assertEqual(len(indices), FRAMES - dropped)

    def test_http_without_a_length_is_live(self):
        # Catches HTTP taken for a file whatever it announces: a broadcast would then lag.
        handler = functools.partial(ChunkedHandler, directory=self.work.path)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        url = "http://127.0.0.1:%d/clip.mkv" % server.server_port
        result = harness.run_tool(["--no-windows", "--no-snapshot", url, self.out, 100, 1],
                                  cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, FRAMES + 1)),
                         result.stderr)
        self.assertRegex(result.stderr, DROPPED)

    def test_ctrl_c_ends_a_live_run_with_its_outputs_finished(self):
        # Catches a reader thread that keeps the run from ending, or outputs left unfinished.
        process = harness.start_tool(["--no-windows", "--no-snapshot", "--detections=" + self.log,
                                      self.serve(), self.out, 100, 1], harness.headless_env(),
                                     cwd=self.work.path)
        reader = harness.StdoutReader(process)
        try:
            harness.wait_until(lambda: reader.last_count() >= 100)
            process.send_signal(signal.SIGINT)
            status, _, _ = harness.finish(process, reader)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.assertEqual(status, 130)
        self.assertTrue(self.assert_outputs_agree())

    def test_pipes_and_served_files_wait_and_never_drop(self):
        # Catches a pipe or a file served over HTTP with its length taken for a live source: each
        # sends faster than marking, so frames would drop.
        fifo = self.work.file("fifo")
        os.mkfifo(fifo)
        short = harness.make_video(self.work.file("short.mkv"), SHORT, fps=FPS, size=SIZE)
        handler = functools.partial(QuietHandler, directory=self.work.path)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        url = "http://127.0.0.1:%d/short.mkv" % server.server_port
        for word in (fifo, "-", url):
            with self.subTest(input=word):
                if word == fifo:
                    watch, closes = reader_closes(fifo)
                    self.addCleanup(os.close, watch)
                with open(short, "rb") as video:
                    writer = subprocess.Popen(["sh", "-c", 'cat > "$0"', fifo],
                                              stdin=video) if word == fifo else None
                    result = subprocess.run(
                        [harness.SHAPEMARK, "--no-windows", "--no-snapshot",
                         "--detections=" + self.log, word, self.out, "100", "1"],
                        stdin=video if writer is None else subprocess.DEVNULL,
                        capture_output=True, cwd=self.work.path, env=harness.headless_env(),
                        timeout=harness.RUN_LIMIT)
                    if writer is not None:
                        writer.wait(timeout=harness.RUN_LIMIT)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, counter(1, SHORT + 1), b""))
                self.assertEqual(self.assert_outputs_agree(), list(range(1, SHORT + 1)))
                if word == fifo:
                    # Catches a check that opens the FIFO before the library does: its writer is
                    # then left without a reader and the stream lost, or the run waits forever.
                    self.assertEqual(closes(), 1)

    @unittest.skipUnless(os.path.exists("/dev/video0"), "no camera at /dev/video0")
    def test_a_camera_runs_until_ctrl_c(self):
        # Catches a camera that cannot be read live, or a run that does not stop on Ctrl+C.
        process = harness.start_tool(["--no-windows", "--no-snapshot", "/dev/video0", self.out,
                                      100, 1], harness.headless_env(), cwd=self.work.path)
        reader = harness.StdoutReader(process)
        try:
            harness.wait_until(lambda: reader.last_count() >= 10)
            process.send_signal(signal.SIGINT)
            status, _, _ = harness.finish(process, reader)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.assertEqual(status, 130)
        self.assertTrue(harness.decodes_cleanly(self.out))


if __name__ == "__main__":
    unittest.main()
