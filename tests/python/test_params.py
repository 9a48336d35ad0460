"""The detector's parameters from Python: keywords, attributes, errors, and what they change."""
import os
import tempfile
import unittest

import cv2
import numpy as np

import shapemark


def scene():
    """An octagon and a triangle, dark on a light ground."""
    image = np.full((240, 320, 3), 200, np.uint8)
    angles = np.arange(8) * np.pi / 4 + np.pi / 8
    octagon = np.stack([90 + 40 * np.cos(angles), 120 + 40 * np.sin(angles)], 1)
    cv2.fillConvexPoly(image, octagon.round().astype(np.int32), (40, 40, 40))
    cv2.fillConvexPoly(image, np.array([[200, 160], [280, 160], [240, 80]], np.int32),
                       (40, 40, 40))
    return image


def vertex_counts(shapes):
    return sorted({len(s.polygon) for s in shapes})


class ParamsTest(unittest.TestCase):
    def test_keywords_attributes_and_repr(self):
        # Catches a keyword bound to the wrong field, a default that is not the tool's, and
        # None not meaning "no bound".
        params = shapemark.DetectorParams(max_area=None, max_vertices=6, threshold_offset=10)
        self.assertEqual((params.max_area, params.max_vertices, params.threshold_offset),
                         (None, 6, 10.0))
        self.assertEqual((params.detector, params.min_area, params.threshold_block),
                         ("classic", 0, 71))
        self.assertEqual(shapemark.DetectorParams().max_area, 10000.0)
        self.assertEqual(
            repr(params),
            "DetectorParams(detector='classic', min_area=0, max_area=None, min_vertices=3, "
            "max_vertices=6, threshold_block=71, threshold_offset=10.0, median_aperture=3, "
            "approx_tolerance=0.02, cleanup_passes=2)")

    def test_bad_values_name_the_field_and_range(self):
        # Catches a value let through unchecked (to fail inside OpenCV or mark nothing), and a
        # message that does not say which field or what it accepts.
        cases = [({"threshold_block": 70}, "threshold_block must be odd, 3 to 1001"),
                 ({"min_vertices": 2}, "min_vertices must be 3 to 8"),
                 ({"max_area": -1}, "max_area must be a positive number or none"),
                 ({"median_aperture": 3.0}, "median_aperture must be a whole number"),
                 ({"detector": "fast"}, "detector must be 'classic' or 'robust'")]
        for keywords, message in cases:
            with self.subTest(keywords=keywords):
                with self.assertRaisesRegex(ValueError, message):
                    shapemark.DetectorParams(**keywords)
        with self.assertRaisesRegex(TypeError, "max_verticies"):
            shapemark.DetectorParams(max_verticies=6)

    def test_robust_sees_colour_where_classic_sees_grey(self):
        # Catches a Detector that ignores params.detector, and a robust detector that looks at
        # brightness only: the orange pentagon has the ground's grey level.
        image = np.full((240, 320, 3), (150, 150, 150), np.uint8)
        angles = np.arange(5) * 2 * np.pi / 5 - np.pi / 2
        pentagon = np.stack([160 + 70 * np.cos(angles), 120 + 70 * np.sin(angles)], 1)
        orange = (20, 135, 220)  # BGR; grey level about 150, as the ground's
        cv2.fillConvexPoly(image, pentagon.round().astype(np.int32), orange)
        robust = shapemark.Detector(shapemark.DetectorParams(detector="robust", min_area=300,
                                                             max_area=None)).detect(image)
        self.assertEqual([len(s.polygon) for s in robust], [5])
        self.assertEqual(shapemark.detect(image, 300), [])

    def test_params_reach_every_entry_point(self):
        # Catches params ignored by detect, frames or Detector, and area_size not overriding
        # params.min_area.
        image = scene()
        self.assertEqual(vertex_counts(shapemark.detect(image, 100)), [3, 8])
        narrow = shapemark.DetectorParams(max_vertices=6, min_area=10**6)
        self.assertEqual(vertex_counts(shapemark.detect(image, 100, narrow)), [3])
        detector = shapemark.Detector(shapemark.DetectorParams(max_vertices=6))
        self.assertEqual(vertex_counts(detector.detect(image)), [3])
        self.assertEqual(detector.draw(image, []).tobytes(), image.tobytes())
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "scene.avi")
            writer = cv2.VideoWriter(path, cv2.VideoWriter_fourcc(*"FFV1"), 25, (320, 240))
            writer.write(image)
            writer.release()
            (frame,) = shapemark.frames(path, 100, params=narrow)
            self.assertEqual(vertex_counts(frame.shapes), [3])
        binary = shapemark.binarise(image)
        self.assertEqual((binary.shape, binary.dtype, sorted(np.unique(binary))),
                         ((240, 320), np.uint8, [0, 255]))


if __name__ == "__main__":
    unittest.main()
