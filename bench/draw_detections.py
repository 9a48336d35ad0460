#!/usr/bin/python3
"""Draws one frame of a video marked by a detection log, as the tool outlines it (green), with
the ground truth's shapes thin in magenta when given, scaled down for a document.

    draw_detections.py VIDEO FRAME LOG OUTPUT.png [--truth=TRUTH.jsonl] [--width=640]
"""
import argparse
import sys

import cv2
import numpy as np

from score_detections import read_detections, read_truth


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("video")
    p.add_argument("frame", type=int)
    p.add_argument("log")
    p.add_argument("output")
    p.add_argument("--truth")
    p.add_argument("--width", type=int, default=640)
    args = p.parse_args(argv[1:])
    capture = cv2.VideoCapture(args.video)
    for _ in range(args.frame):
        ok, img = capture.read()
        if not ok:
            sys.stderr.write("draw_detections.py: no frame %d in %s\n" % (args.frame, args.video))
            return 1
    if args.truth:
        for shape in read_truth(args.truth)[args.frame]["shapes"]:
            pts = np.round(np.array(shape["polygon"])).astype(np.int32)
            cv2.polylines(img, [pts], True, (255, 0, 255), 2, cv2.LINE_AA)
    for polygon in read_detections(args.log).get(args.frame, []):
        cv2.polylines(img, [np.array(polygon, dtype=np.int32)], True, (0, 255, 0), 4, cv2.LINE_8)
    scale = args.width / img.shape[1]
    img = cv2.resize(img, None, fx=scale, fy=scale, interpolation=cv2.INTER_AREA)
    cv2.imwrite(args.output, img, [cv2.IMWRITE_PNG_COMPRESSION, 9])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
