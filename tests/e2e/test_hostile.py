"""Hostile inputs: broken, odd or unusual files, paths and words. Every run is headless and
bounded. Whatever happens, the tool must end by itself with one of its own statuses, write only
the usage text or the counter to standard output, and leave a recording that decodes."""
import os
import random
import re
import select
import signal
import struct
import subprocess
import unittest

import cv2
import numpy as np

import harness
from harness import counter, make_video, read_frames, run_tool

# The tool's own statuses: a normal end, an unreadable input, lost output, a refused command
# line (-1), and the end by SIGINT or SIGTERM. A crash shows as a negative status (killed by a signal).
OWN_STATUSES = {0, 1, 74, 255, 128 + signal.SIGINT, 128 + signal.SIGTERM}
CASE_LIMIT = 60 * harness.SLOWDOWN  # seconds for one run
COUNTER = re.compile(rb"\A(?:[1-9][0-9]*/n)*\Z")


def random_bytes(count, seed):
    return random.Random(seed).randbytes(count)


class HostileCase(unittest.TestCase):
    def setUp(self):
        self.work = harness.WorkDir()
        self.addCleanup(self.work.cleanup)

    def run_case(self, args, cwd=None):
        result = run_tool(args, cwd=cwd or self.work.path, timeout=CASE_LIMIT)
        self.assertIn(result.returncode, OWN_STATUSES, result.stderr)
        if result.stdout != harness.USAGE:
            self.assertRegex(result.stdout, COUNTER)
            counts = result.stdout.count(b"/n")
            self.assertEqual(result.stdout, counter(1, counts))
        return result

    def assert_recording_decodes(self, path):
        self.assertTrue(os.path.isfile(path), path)
        self.assertTrue(harness.decodes_cleanly(path), path)

    def assert_refused_or_recorded(self, input_path):
        """Either refused as unreadable, or played to a recording that decodes."""
        output = self.work.file("out.avi")
        result = self.run_case([input_path, output, 100, 1])
        if result.returncode == 0:
            self.assert_recording_decodes(output)
        else:
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertEqual(result.stdout, b"")
            self.assertFalse(os.path.exists(output))

    def assert_counted_and_recorded(self, result, output, frames, size):
        """A normal end after `frames` frames, all of them recorded at `size`."""
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, counter(1, frames + 1))
        self.assert_recording_decodes(output)
        recorded = read_frames(output)
        self.assertEqual(len(recorded), frames)
        for frame in recorded:
            self.assertEqual(frame.shape[1::-1], size)


class UnreadableInputs(HostileCase):
    """Files that are no video at all: status 1, nothing on standard output, no output."""

    def assert_refused(self, input_path):
        output = self.work.file("out.avi")
        result = self.run_case([input_path, output, 100, 1])
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stdout, b"")
        self.assertFalse(os.path.exists(output))

    def test_random_bytes_named_avi(self):
        path = self.work.file("random.avi")
        with open(path, "wb") as f:
            f.write(random_bytes(200_000, 1))
        self.assert_refused(path)

    def test_zero_length_file(self):
        path = self.work.file("empty.avi")
        open(path, "wb").close()
        self.assert_refused(path)

    def test_folder(self):
        path = self.work.file("folder.avi")
        os.mkdir(path)
        self.assert_refused(path)

    def test_missing_file(self):
        self.assert_refused(self.work.file("no such file.avi"))


class AmbiguousInputs(HostileCase):
    """Files the library may or may not take for a video: either way the run ends cleanly."""

    def test_text_file(self):
        # FFmpeg renders plain text as a terminal-art video, so this one may play.
        path = self.work.file("notes.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("this is not a video\n" * 200)
        self.assert_refused_or_recorded(path)



class DamagedVideos(HostileCase):
    """Real videos with broken parts: what decodes is processed, and the run ends normally."""

    def test_truncated_in_the_middle(self):
        source = make_video(self.work.file("whole.avi"), 40, size=(160, 120))
        with open(source, "rb") as f:
            data = f.read()
        cut = self.work.file("cut.avi")
        with open(cut, "wb") as f:
            f.write(data[: len(data) // 2])
        decodable = [harness.frame_index(f) for f in read_frames(cut)]
        self.assertGreater(len(decodable), 5)
        self.assertLess(len(decodable), 40)
        output = self.work.file("out.avi")
        result = self.run_case([cut, output, 100, 1])
        # Every frame the library decodes before the cut is recorded, in order (the last one
        # may be half a picture: the cut runs through it).
        self.assert_counted_and_recorded(result, output, len(decodable), (160, 120))
        recorded = [harness.frame_index(f) for f in read_frames(output)]
        self.assertEqual(recorded[:-1], decodable[:-1])
        self.assertEqual(recorded[:-1], list(range(1, len(decodable))))

    def test_avi_header_then_garbage(self):
        source = make_video(self.work.file("whole.avi"), 10, size=(160, 120))
        with open(source, "rb") as f:
            data = f.read()
        movi = data.index(b"movi") + 4
        broken = self.work.file("broken.avi")
        with open(broken, "wb") as f:
            f.write(data[:movi] + random_bytes(100_000, 2))
        self.assert_refused_or_recorded(broken)

    def test_declared_frame_count_beyond_what_decodes(self):
        source = make_video(self.work.file("ten.avi"), 10, size=(160, 120))
        with open(source, "rb") as f:
            data = bytearray(f.read())
        # The main header's total frames and the stream header's length both claim 1000.
        avih = data.index(b"avih") + 8
        struct.pack_into("<I", data, avih + 16, 1000)
        strh = data.index(b"strh") + 8
        struct.pack_into("<I", data, strh + 32, 1000)
        liar = self.work.file("liar.avi")
        with open(liar, "wb") as f:
            f.write(bytes(data))
        self.assertEqual(int(cv2.VideoCapture(liar).get(cv2.CAP_PROP_FRAME_COUNT)), 1000)
        output = self.work.file("out.avi")
        result = self.run_case([liar, output, 100, 1])
        self.assert_counted_and_recorded(result, output, 10, (160, 120))

    def test_frame_size_changes_mid_stream(self):
        # The recording keeps the first size: frames of another size are not written, and
        # what was written still decodes.
        parts = [make_video(self.work.file("a.avi"), 5, size=(64, 48)),
                 make_video(self.work.file("b.avi"), 5, size=(96, 80))]
        listing = self.work.file("list.txt")
        with open(listing, "w", encoding="utf-8") as f:
            f.write("file '%s'\nfile '%s'\nfile '%s'\n" % (parts[0], parts[1], parts[0]))
        mixed = self.work.file("mixed.avi")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "concat", "-safe", "0", "-i",
                        listing, "-c", "copy", mixed], check=True, timeout=CASE_LIMIT)
        output = self.work.file("out.avi")
        result = self.run_case([mixed, output, 100, 1])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_recording_decodes(output)
        recorded = read_frames(output)
        self.assertGreaterEqual(len(recorded), 10)
        self.assertTrue(all(f.shape[:2] == (48, 64) for f in recorded))


class UnusualFrames(HostileCase):
    def test_still_png_is_a_one_frame_video(self):
        image = np.full((120, 160, 3), 200, np.uint8)
        cv2.rectangle(image, (40, 30), (90, 80), (30, 30, 30), -1)
        still = self.work.file("still.png")
        cv2.imwrite(still, image)
        output = self.work.file("out.avi")
        result = self.run_case([still, output, 100, 1])
        self.assert_counted_and_recorded(result, output, 1, (160, 120))
        # The square is outlined on the snapshot.
        self.assertTrue(harness.green_mask(cv2.imread(self.work.snapshot)).any())

    def test_odd_size_is_recorded_without_its_last_column_and_row(self):
        # The MP42 encoder needs even sizes; the writer drops the odd column and row. The
        # input is lossless, since the test video writer would round its size down itself.
        source = self.work.file("odd.avi")
        frames = np.full((6, 241, 321, 3), 180, np.uint8)
        for i, frame in enumerate(frames):
            frame[40:120, 60 + 5 * i: 150 + 5 * i] = 30
        subprocess.run(["ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                        "321x241", "-r", "250", "-i", "-", "-c:v", "ffv1", source],
                       input=frames.tobytes(), check=True, timeout=CASE_LIMIT)
        output = self.work.file("out.avi")
        result = self.run_case([source, output, 100, 1])
        self.assert_counted_and_recorded(result, output, 6, (320, 240))
        self.assertEqual(cv2.imread(self.work.snapshot).shape[:2], (241, 321))

    def test_tiny_frames(self):
        source = make_video(self.work.file("tiny.avi"), 6, size=(8, 8), scene="sample")
        output = self.work.file("out.avi")
        result = self.run_case([source, output, 100, 1])
        self.assert_counted_and_recorded(result, output, 6, (8, 8))

    def test_huge_frames(self):
        source = make_video(self.work.file("huge.avi"), 3, size=(4000, 3000), scene="sample")
        output = self.work.file("out.avi")
        result = self.run_case([source, output, 100, 1])
        self.assert_counted_and_recorded(result, output, 3, (4000, 3000))


class Paths(HostileCase):
    def test_spaces_and_non_ascii(self):
        folder = self.work.file("dossier vidéo ünïcode 形")
        os.makedirs(os.path.join(folder, os.path.dirname(harness.SNAPSHOT)))
        source = make_video(os.path.join(folder, "entrée à voir.avi"), 5, size=(160, 120))
        output = os.path.join(folder, "sortie marquée 形.avi")
        result = self.run_case([source, output, 100, 1], cwd=folder)
        self.assert_counted_and_recorded(result, output, 5, (160, 120))
        self.assertTrue(os.path.isfile(os.path.join(folder, harness.SNAPSHOT)))

    def test_output_folder_that_does_not_exist(self):
        source = make_video(self.work.file("in.avi"), 5, size=(160, 120))
        output = self.work.file(os.path.join("missing", "out.avi"))
        result = self.run_case([source, output, 100, 1])
        # Reported once, then the run goes on without a recording.
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, counter(1, 6))
        self.assertIn(output.encode(), result.stderr)
        self.assertFalse(os.path.exists(os.path.dirname(output)))

    def test_output_on_a_full_disk(self):
        mount_point = self.work.file("small disk")
        os.mkdir(mount_point)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=48k", "tmpfs",
                                  mount_point], capture_output=True, timeout=30)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs here: %s"
                          % mounted.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", "-l", mount_point], timeout=30)
        source = make_video(self.work.file("in.avi"), 300, size=(320, 240))
        output = os.path.join(mount_point, "out.avi")
        result = self.run_case([source, output, 100, 1])
        # Lost frames are a failure: one line naming the recording, and a status of its own.
        self.assertEqual(result.returncode, 74, result.stderr)
        lost = [line for line in result.stderr.splitlines() if output.encode() in line]
        self.assertEqual(len(lost), 1, result.stderr)
        self.assertRegex(lost[0], rb"incomplete: \d+ of \d+ frames made it \(the disk is full\)")
        # The frames recorded before the disk filled up decode, in order; only the last one,
        # cut off by the full disk, may be damaged.
        indices = [harness.frame_index(f) for f in read_frames(output)]
        self.assertGreater(len(indices), 10)
        self.assertLess(len(indices), 300)
        self.assertEqual(indices[:-1], list(range(1, len(indices))))


    def test_output_lost_when_written_out_to_the_disk(self):
        # A disk whose blocks run out underneath its file system: writes land in memory and fail
        # only when written out, after the tool has written its last frame.
        backing = self.work.file("backing")
        os.mkdir(backing)
        steps = [["mount", "-t", "tmpfs", "-o", "size=6m", "tmpfs", backing],
                 ["truncate", "-s", "64M", os.path.join(backing, "disk.img")],
                 ["losetup", "-f", "--show", os.path.join(backing, "disk.img")]]
        for step in steps:
            done = subprocess.run(step, capture_output=True, text=True, timeout=30)
            if done.returncode != 0:
                self.skipTest("cannot make a failing disk here: %s" % done.stderr.strip())
            if step[0] == "mount":
                self.addCleanup(subprocess.run, ["umount", "-l", backing], timeout=30)
        device = done.stdout.strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", device], timeout=30)
        mount_point = self.work.file("disk")
        os.mkdir(mount_point)
        subprocess.run(["mkfs.ext4", "-q", "-F", device], check=True, timeout=CASE_LIMIT)
        subprocess.run(["mount", device, mount_point], check=True, timeout=30)
        self.addCleanup(subprocess.run, ["umount", "-l", mount_point], timeout=30)
        source = make_video(self.work.file("in.avi"), 300, size=(640, 480), scene="sample")
        output = os.path.join(mount_point, "out.avi")
        result = self.run_case([source, output, 100, 1])
        self.assertEqual(result.returncode, 74, result.stderr)
        self.assertEqual(result.stdout, counter(1, 301))
        self.assertIn(b"recording '%s' is incomplete (writing it out to the disk failed"
                      % output.encode(), result.stderr)


class NumericWords(HostileCase):
    def marked_snapshot(self, area_word):
        source = self.work.file("scene.avi")
        if not os.path.exists(source):
            make_video(source, 3, size=(320, 240), scene="sample")
        result = self.run_case([source, self.work.file("out.avi"), area_word, 1])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, counter(1, 4))
        return cv2.imread(self.work.snapshot)

    def test_area_beyond_32_bits_saturates(self):
        # 2^32 + 100 would wrap to 100 and mark shapes; saturated, it marks nothing.
        self.assertTrue(harness.green_mask(self.marked_snapshot("100")).any())
        self.assertFalse(harness.green_mask(self.marked_snapshot("4294967396")).any())
        self.assertFalse(harness.green_mask(self.marked_snapshot("99999999999999999999")).any())

    def test_negative_areas_reject_nothing_at_the_lower_bound(self):
        lowest = self.marked_snapshot("-1")
        self.assertTrue(harness.green_mask(lowest).any())
        np.testing.assert_array_equal(self.marked_snapshot("-4294967296"), lowest)
        np.testing.assert_array_equal(self.marked_snapshot("  -99999999999999999999x"), lowest)

    def test_skip_rate_beyond_32_bits_saturates(self):
        # 2^32 + 1 would wrap to 1 and process every frame; saturated, no frame is processed
        # within the first 2^31 - 1 counts. Ctrl+C ends the long count cleanly.
        source = make_video(self.work.file("five.avi"), 5, size=(160, 120))
        for word in ("4294967297", "-99999999999"):
            with self.subTest(word=word):
                output = self.work.file("out%s.avi" % word)
                tool = harness.start_tool([source, output, 100, word], harness.headless_env(),
                                          cwd=self.work.path)
                seen = b""
                try:
                    while seen.count(b"/n") < 2000:
                        ready, _, _ = select.select([tool.stdout], [], [], CASE_LIMIT)
                        self.assertTrue(ready, "no count within %d s" % CASE_LIMIT)
                        chunk = os.read(tool.stdout.fileno(), 65536)
                        self.assertTrue(chunk, "the tool stopped counting")
                        seen += chunk
                    tool.send_signal(signal.SIGINT)
                    rest, _ = tool.communicate(timeout=CASE_LIMIT)
                finally:
                    if tool.poll() is None:
                        tool.kill()
                        tool.wait()
                self.assertEqual(tool.returncode, 128 + signal.SIGINT)
                stdout = seen + rest
                self.assertEqual(stdout, counter(1, stdout.count(b"/n")))
                self.assert_recording_decodes(output)
                self.assertEqual(read_frames(output), [])
                self.assertFalse(os.path.exists(self.work.snapshot))


if __name__ == "__main__":
    unittest.main()
