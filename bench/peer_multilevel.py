#!/usr/bin/python3
"""The multi-level peer for the ground-truth benchmark: OpenCV's squares.cpp sample, as a user
would generalise it to 3 to 8 vertices, with candidates merged by overlap. It writes the tool's
JSONL detection log, for bench/score_detections.py.

    peer_multilevel.py VIDEO LOG.jsonl [AREASIZE]
"""
import json
import sys

import cv2
import numpy as np

LEVELS = 11  # threshold levels per colour plane, as in the sample
SAME_SHAPE_IOU = 0.5


def candidates(img, area_size):
    # Down and up again, as the sample does, to wash out noise.
    smooth = cv2.pyrUp(cv2.pyrDown(img), dstsize=(img.shape[1], img.shape[0]))
    found = []
    for plane in cv2.split(smooth):
        for level in range(LEVELS):
            if level == 0:
                binary = cv2.dilate(cv2.Canny(plane, 0, 50, apertureSize=5), None)
            else:
                binary = np.uint8(plane >= (level + 1) * 255 // LEVELS) * 255
            contours, _ = cv2.findContours(binary, cv2.RETR_LIST, cv2.CHAIN_APPROX_SIMPLE)
            for contour in contours:
                approx = cv2.approxPolyDP(contour, 0.02 * cv2.arcLength(contour, True), True)
                area = abs(cv2.contourArea(approx))
                if 3 <= len(approx) <= 8 and area > area_size and cv2.isContourConvex(approx):
                    found.append((area, approx.reshape(-1, 2)))
    return found


def merged(found):
    """The largest of each group of candidates overlapping by IoU."""
    kept = []
    for area, poly in sorted(found, key=lambda c: -c[0]):
        p = poly.astype(np.float32)
        same = False
        for other_area, other in kept:
            inter, _ = cv2.intersectConvexConvex(p, other.astype(np.float32))
            if inter / (area + other_area - inter) >= SAME_SHAPE_IOU:
                same = True
                break
        if not same:
            kept.append((area, poly))
    return kept


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    area_size = int(argv[3]) if len(argv) > 3 else 300
    capture = cv2.VideoCapture(argv[1])
    if not capture.isOpened():
        return 1
    fps = capture.get(cv2.CAP_PROP_FPS) or 25.0
    with open(argv[2], "w") as log:
        count = 0
        while True:
            ok, frame = capture.read()
            if not ok:
                break
            count += 1
            shapes = [{"vertices": len(poly), "area": area, "polygon": poly.tolist()}
                      for area, poly in merged(candidates(frame, area_size))]
            log.write(json.dumps({"frame": count, "time_ms": (count - 1) * 1000.0 / fps,
                                  "shapes": shapes}) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
