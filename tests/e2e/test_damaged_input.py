"""Inputs that fail part way: a damaged frame is skipped and the run goes on, an input shorter
than its header says ends normally but says so, and a decoder out of memory is no normal end."""
import json
import os
import re
import resource
import struct
import subprocess
import unittest

import harness
from harness import counter, make_video, read_frames, run_tool

SIZE = (160, 120)


def zero_frames(source, target, positions):
    """Copies an AVI with the data of its frame chunks at `positions` (1-based) zeroed."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    chunk = data.index(b"movi") + 4
    number = 0
    while number < max(positions):
        chunk = data.index(b"00dc", chunk)
        size = struct.unpack_from("<I", data, chunk + 4)[0]
        number += 1
        if number in positions:
            data[chunk + 8: chunk + 8 + size] = bytes(size)
        chunk += 8 + size + size % 2  # chunks are padded to even sizes
    with open(target, "wb") as f:
        f.write(bytes(data))
    return target


class DamagedInputTest(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)
        self.out = self.work.file("out.avi")

    def test_damaged_frames_are_counted_skipped_and_named_once(self):
        # Catches: a failed decode taken for the end (3 frames, status 0, silence), a damaged
        # frame processed or numbered wrongly, the note repeated, the summary not counting.
        source = make_video(self.work.file("in.avi"), 30, size=SIZE)
        damaged = zero_frames(source, self.work.file("damaged.avi"), {4, 11})
        result = run_tool(["--progress", "--no-windows", damaged, self.out, 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, counter(1, 31))
        indices = [harness.frame_index(f) for f in read_frames(self.out)]
        self.assertEqual(indices, [i for i in range(1, 31) if i not in (4, 11)])
        self.assertEqual(re.findall(rb"^shapemark: frame \d+ .*$", result.stderr, re.M),
                         [b"shapemark: frame 4 cannot be decoded; skipped (damaged frames are "
                          b"counted)"])
        self.assertRegex(result.stderr, rb"\nshapemark: 28 frames read, 2 damaged \(skipped\), "
                                        rb"28 processed, ")

    def test_four_damaged_frames_in_a_row_are_skipped_and_five_end_the_input(self):
        # Catches adjacent damaged frames counted as one (every later frame numbered too low), a
        # budget other than the documented 5 failed reads, and an end inside damage passed over
        # in silence where the container keeps no frame count (MKV).
        source = make_video(self.work.file("in.avi"), 30, size=SIZE)
        four = zero_frames(source, self.work.file("four.avi"), {4, 5, 6, 7})
        log = self.work.file("four.jsonl")
        result = run_tool(["--no-windows", "--detections=" + log, four, self.out, 0, 1],
                          cwd=self.work.path)
        self.assertEqual((result.returncode, result.stdout), (0, counter(1, 31)))
        indices = [harness.frame_index(f) for f in read_frames(self.out)]
        self.assertEqual(indices, [1, 2, 3] + list(range(8, 31)))
        with open(log, encoding="utf-8") as f:
            self.assertEqual([json.loads(line)["frame"] for line in f], indices)
        five = zero_frames(source, self.work.file("five.avi"), {4, 5, 6, 7, 8})
        mkv = self.work.file("five.mkv")
        subprocess.run(["ffmpeg", "-v", "error", "-i", five, "-c", "copy", mkv], check=True,
                       timeout=harness.RUN_LIMIT)
        for damaged in (five, mkv):
            result = run_tool(["--no-windows", damaged, self.out, 100, 1], cwd=self.work.path)
            self.assertEqual((result.returncode, result.stdout), (0, counter(1, 4)), damaged)
            self.assertEqual(result.stderr,
                             b"shapemark: the input ended after frame 3: 5 frames in a row "
                             b"cannot be decoded, and 27 more of its 30 frames are not read\n")

    def test_input_short_of_its_announced_frames_ends_normally_with_a_note(self):
        # Catches: a header's claim turned into a failure, or a short input passed over silently.
        source = make_video(self.work.file("ten.avi"), 10, size=SIZE)
        with open(source, "rb") as f:
            data = bytearray(f.read())
        struct.pack_into("<I", data, data.index(b"avih") + 8 + 16, 1000)
        struct.pack_into("<I", data, data.index(b"strh") + 8 + 32, 1000)
        liar = self.work.file("liar.avi")
        with open(liar, "wb") as f:
            f.write(bytes(data))
        result = run_tool(["--no-windows", liar, self.out, 100, 1], cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, counter(1, 11))
        self.assertEqual(result.stderr,
                         b"shapemark: the input ended after 10 of the 1000 frames it announces\n")
        # A sound input says nothing, nor does a Matroska file whose longer audio track makes
        # the library estimate more frames (its header keeps no count).
        mkv = self.work.file("longer_audio.mkv")
        subprocess.run(["ffmpeg", "-v", "error", "-i", source, "-f", "lavfi", "-i",
                        "sine=duration=1", "-c:v", "copy", "-c:a", "pcm_s16le", mkv],
                       check=True, timeout=harness.RUN_LIMIT)
        for sound in (source, mkv):
            result = run_tool(["--no-windows", sound, self.out, 100, 1], cwd=self.work.path)
            self.assertEqual((result.returncode, result.stderr), (0, b""), sound)

    def test_missing_time_stamps_are_logged_as_none(self):
        # B-frames: the library gives the last frames no time stamp, reported as 0. Catches a
        # made-up 0 ms logged after the first frame.
        source = make_video(self.work.file("in.avi"), 30, size=SIZE)
        mp4 = self.work.file("in.mp4")
        subprocess.run(["ffmpeg", "-v", "error", "-i", source, "-c:v", "libx264", "-bf", "2",
                        mp4], check=True, timeout=harness.RUN_LIMIT)
        log = self.work.file("log.jsonl")
        result = run_tool(["--no-windows", "--detections=" + log, mp4, self.out, 100, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(log, encoding="utf-8") as f:
            times = [json.loads(line)["time_ms"] for line in f]
        self.assertEqual(len(times), 30)
        self.assertIn(None, times)
        for frame, time_ms in enumerate(times):
            if time_ms is not None:
                self.assertAlmostEqual(time_ms, frame * 4.0, places=3)  # 250 fps

    def test_streams_without_time_stamps_log_no_time(self):
        # Raw MJPEG has no time stamps: the library makes up huge negative ones. Catches a
        # made-up time logged as if it were the frame's.
        raw = self.work.file("raw.mjpeg")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=160x120:rate=25", "-t", "0.2", "-c:v", "mjpeg", "-f",
                        "mjpeg", raw], check=True, timeout=harness.RUN_LIMIT)
        log = self.work.file("raw.jsonl")
        result = run_tool(["--no-windows", "--detections=" + log, raw, self.out, 0, 1],
                          cwd=self.work.path)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(log, encoding="utf-8") as f:
            self.assertEqual([json.loads(line)["time_ms"] for line in f], [None] * 5)

    @unittest.skipIf(harness.SANITIZED, "a sanitizer reserves more address space than any limit")
    def test_decoder_out_of_memory_is_a_failure_of_its_own(self):
        # Catches: a decoder that ran out of memory taken for the end of the input (status 0).
        tiny = make_video(self.work.file("tiny.avi"), 2, size=(32, 32))
        # What the tool takes to start, measured: a run stuck on a full pipe, threads started.
        process = harness.start_tool(["--no-windows", "--no-snapshot", tiny, self.out, 100,
                                      10**9], harness.headless_env(), cwd=self.work.path)
        try:
            harness.wait_until(lambda: harness.blocked_on_full_stdout(process))
            with open("/proc/%d/status" % process.pid) as status:
                peak_kib = int(re.search(r"^VmPeak:\s*(\d+) kB", status.read(), re.M).group(1))
        finally:
            process.kill()
            process.communicate(timeout=harness.RUN_LIMIT)
        # 64 MiB more: less than one 4K frame's decode and conversion take.
        limit = (peak_kib + 64 * 1024) * 1024
        big = make_video(self.work.file("big.avi"), 3, size=(3840, 2160))

        def limit_memory():
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

        result = subprocess.run([harness.SHAPEMARK, "--no-windows", "--no-snapshot", big,
                                 self.out, "100", "1"], capture_output=True, cwd=self.work.path,
                                env=harness.headless_env(), preexec_fn=limit_memory,
                                timeout=harness.RUN_LIMIT)
        self.assertEqual(result.returncode, 71, result.stderr)
        self.assertRegex(result.stderr, rb"shapemark: stopped after \d+ frames: out of memory\n\Z")


if __name__ == "__main__":
    unittest.main()
