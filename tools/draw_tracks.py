#!/usr/bin/python3
"""Draws each shape's track, coloured by id, over the last of a video's frames.

    PYTHONPATH=build/python tools/draw_tracks.py VIDEO OUT.png [--frames 60] [--last 160] \
        [--detector robust]

The shapes and ids are those of `shapemark --track --detector=robust --max-area=none`
(shapemark.frames(..., track=True)), or of the classic detector; the trails join the centres of
each id over the frames before the last.
"""
import argparse
import colorsys

import cv2
import numpy as np

import shapemark


def colour(track_id):
    r, g, b = colorsys.hsv_to_rgb((track_id * 0.618) % 1.0, 0.9, 0.9)
    return int(b * 255), int(g * 255), int(r * 255)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("video")
    parser.add_argument("out")
    parser.add_argument("--frames", type=int, default=60, help="how many frames of trail")
    parser.add_argument("--last", type=int, default=160, help="the frame drawn on")
    parser.add_argument("--area", type=int, default=100)
    parser.add_argument("--detector", default="robust", choices=("robust", "classic"))
    args = parser.parse_args()
    if args.detector == "robust":  # as the identities are scored: no area ceiling
        params = shapemark.DetectorParams(detector="robust", max_area=None)
    else:
        params = None
    trails, image, last = {}, None, []
    for frame in shapemark.frames(args.video, args.area, params=params, track=True):
        if frame.number > args.last:
            break
        if frame.number > args.last - args.frames:
            for shape in frame.shapes:
                if shape.id is not None:
                    trails.setdefault(shape.id, []).append(shape.centre)
        image, last = frame.image, frame.shapes
    for track_id, points in trails.items():
        cv2.polylines(image, [np.round(points).astype(np.int32)], False, colour(track_id), 2,
                      cv2.LINE_AA)
    for shape in last:
        if shape.id is not None:
            cv2.polylines(image, [shape.polygon], True, colour(shape.id), 2, cv2.LINE_AA)
            x, y = shape.polygon.min(axis=0)
            cv2.putText(image, str(shape.id), (int(x), int(y) - 6), cv2.FONT_HERSHEY_SIMPLEX,
                        0.6, colour(shape.id), 2, cv2.LINE_AA)
    cv2.imwrite(args.out, image, [cv2.IMWRITE_PNG_COMPRESSION, 9])


if __name__ == "__main__":
    main()
