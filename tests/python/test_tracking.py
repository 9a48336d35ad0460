"""Identities from Python: Tracker, Shape.id and frames(track=True)."""
import json
import unittest

import cv2
import numpy as np

import harness
import shapemark


def image_with_squares(centres):
    image = np.full((240, 320, 3), 210, np.uint8)
    for x, y in centres:
        cv2.rectangle(image, (x - 15, y - 15), (x + 15, y + 15), (60, 40, 30), cv2.FILLED)
    return image


class TrackingTest(unittest.TestCase):
    # Catches: a counter shared between trackers, ids given to tentative tracks, a shape left
    # out, and a detected Shape that claims an id.
    def test_ids_start_at_one_in_each_tracker(self):
        for _ in range(2):
            tracker = shapemark.Tracker(confirm_frames=2)
            ids = []
            for frame in range(1, 6):
                shapes = shapemark.detect(image_with_squares([(40 + 5 * frame, 60),
                                                               (200, 150)]), 100)
                self.assertTrue(all(s.id is None for s in shapes))
                tracked = tracker.update(frame, shapes)
                self.assertEqual([s.centre for s in tracked], [s.centre for s in shapes])
                ids.append(sorted((s.id or 0) for s in tracked))
            self.assertEqual(ids, [[0, 0], [1, 2], [1, 2], [1, 2], [1, 2]])

    # Catches: a range check missing, or one that does not say which parameter broke it; an
    # image for the colours taken in any form.
    def test_bad_parameters_name_themselves(self):
        with self.assertRaisesRegex(ValueError, "centre_gate"):
            shapemark.Tracker(centre_gate=0)
        with self.assertRaisesRegex(ValueError, "colour_weight"):
            shapemark.Tracker(colour_weight=-1)
        tracker = shapemark.Tracker()
        with self.assertRaisesRegex(ValueError, "Tracker.update: image must be"):
            tracker.update(4, [], image=np.zeros((4, 4), np.uint8))
        tracker.update(5, [])
        with self.assertRaisesRegex(ValueError, "must increase"):
            tracker.update(5, [])

    # Catches: frames(track=True) tracking in another order or with other rules than the tool.
    def test_frames_carry_the_tools_ids(self):
        work = harness.WorkDir()
        try:
            video = harness.make_video(work.file("in.avi"), 9, fps=25, scene="sample")
            result = harness.run_tool(["--track", "--detections", "log.jsonl", video, "out.avi",
                                       100, 2], cwd=work.path)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(work.file("log.jsonl")) as f:
                logged = [[s["id"] for s in json.loads(line)["shapes"]] for line in f]
            yielded = [[s.id for s in frame.shapes]
                       for frame in shapemark.frames(video, 100, 2, track=True)]
            self.assertEqual(yielded, logged)
            self.assertTrue(any(i is not None for ids in yielded for i in ids))
        finally:
            work.cleanup()


if __name__ == "__main__":
    unittest.main()
