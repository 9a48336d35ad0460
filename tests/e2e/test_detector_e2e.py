"""The detector end to end: the snapshot after a run on the sample scene holds the last
processed frame with exactly the outlines that the library operations give for that frame."""
import math
import unittest

import cv2
import numpy as np

import harness

FRAMES = 7
SKIP = 2
LAST_PROCESSED = 6  # the 6th frame: counts 2, 4 and 6 are processed, count 8 reads nothing
SIZE = (640, 480)


def expected_marking(frame, area_size):
    """The marked copy of `frame` and the polygons outlined on it, by the library alone."""
    img = frame.copy()
    grey = cv2.medianBlur(cv2.cvtColor(frame, 6), 3)
    binary = cv2.adaptiveThreshold(grey, 255, cv2.ADAPTIVE_THRESH_MEAN_C, cv2.THRESH_BINARY,
                                   71, 15)
    binary = cv2.dilate(cv2.erode(binary, None, iterations=2), None, iterations=2)
    # The contour finder traces the image's outermost pixels as background.
    binary[0, :] = binary[-1, :] = binary[:, 0] = binary[:, -1] = 0
    contours, _ = cv2.findContours(binary, cv2.RETR_LIST, cv2.CHAIN_APPROX_SIMPLE)
    marked = []
    for contour in contours:
        area = cv2.contourArea(contour)
        approx = cv2.approxPolyDP(contour, 0.02 * cv2.arcLength(contour, True), True)
        approx = approx.reshape(-1, 2)
        if (area > area_size and area < 10000.0 and cv2.isContourConvex(approx)
                and 3 <= len(approx) <= 8):
            marked.append(approx)
            for k in range(len(approx)):
                end = approx[(k + 1) % len(approx)]
                cv2.line(img, (int(approx[k][0]), int(approx[k][1])), (int(end[0]), int(end[1])),
                         (0, 255, 0), 4, cv2.LINE_8, 0)
    return img, marked


def polygon_centre(n, index):
    """Where the sample scene puts its n-gon in frame `index` (0-based)."""
    t = index / 25.0
    slot = n - 3
    return (SIZE[0] * (0.12 + 0.19 * (slot % 5)) + 18.0 * math.sin(t + slot),
            SIZE[1] * (0.28 + 0.42 * (slot // 5)) + 14.0 * math.cos(0.7 * t + slot))


def ell_box(index):
    """The bounding box (x0, y0, x1, y1) of the sample scene's concave L in frame `index`."""
    x = int(40 + math.fmod(24.0 * index / 25.0, SIZE[0] - 160.0))
    return (x, SIZE[1] - 110, x + 70, SIZE[1] - 30)


def run_on(work, video, area_size):
    """Runs the tool on `video`; returns (exit status, stdout, snapshot or None)."""
    result = harness.run_tool([video, work.file("out.avi"), area_size, SKIP],
                              env=harness.headless_env(), cwd=work.path)
    return result.returncode, result.stdout, cv2.imread(work.snapshot, cv2.IMREAD_UNCHANGED)


class DetectorEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = harness.WorkDir()
        cls.video = harness.make_video(cls.work.file("in.avi"), FRAMES, size=SIZE,
                                       scene="sample")
        cls.frame = harness.read_frames(cls.video)[LAST_PROCESSED - 1]
        cls.status, cls.stdout, cls.snapshot = run_on(cls.work, cls.video, 100)
        cls.expected, cls.marked = expected_marking(cls.frame, 100)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_run_ends_normally_after_the_whole_input(self):
        self.assertEqual(self.status, 0)
        self.assertEqual(self.stdout, harness.counter(1, FRAMES + 1))

    def test_snapshot_is_the_last_processed_frame_with_the_predicted_outlines(self):
        self.assertIsNotNone(self.snapshot)
        self.assertGreaterEqual(len(self.marked), 5)
        self.assertEqual(self.snapshot.shape, self.expected.shape)
        self.assertEqual(int(np.count_nonzero(self.snapshot != self.expected)), 0)

    def test_only_convex_polygons_of_three_to_eight_vertices_are_outlined(self):
        self.assertIsNotNone(self.snapshot)
        green = harness.green_mask(self.snapshot)
        rows, cols = np.indices(green.shape)
        index = LAST_PROCESSED - 1

        def green_within(centre, radius):
            disc = (cols - centre[0]) ** 2 + (rows - centre[1]) ** 2 < radius ** 2
            return int(np.count_nonzero(green & disc))

        # Each n-gon has radius 23 + n; the octagon's slot overlaps the L in these frames.
        for n in range(3, 8):
            self.assertGreater(green_within(polygon_centre(n, index), 23 + n + 5), 0, n)
        for n in range(9, 13):
            self.assertEqual(green_within(polygon_centre(n, index), 23 + n + 5), 0, n)
        x0, y0, x1, y1 = ell_box(index)
        self.assertEqual(int(np.count_nonzero(green[y0:y1 + 1, x0:x1 + 1])), 0)
        # Triangle to heptagon once each; the ring's two circles come out as octagons.
        counts = sorted(len(p) for p in self.marked)
        self.assertEqual(counts, [3, 4, 5, 6, 7, 8, 8])

    def test_area_size_of_ten_thousand_marks_nothing(self):
        status, _, snapshot = run_on(self.work, self.video, 10000)
        self.assertEqual(status, 0)
        self.assertIsNotNone(snapshot)
        self.assertEqual(int(np.count_nonzero(snapshot != self.frame)), 0)
        # With areaSize 100 the same frame is marked, so the bound is what leaves it clean.
        self.assertGreater(int(np.count_nonzero(harness.green_mask(self.snapshot))), 0)


if __name__ == "__main__":
    unittest.main()
