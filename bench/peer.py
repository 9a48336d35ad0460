#!/usr/bin/python3
"""The peer a user would write instead of the tool: the same per-frame work as a plain
OpenCV-Python script, used as the yardstick of the end-to-end comparison.

    peer.py INPUT OUTPUT AREASIZE [SNAPSHOT]
"""
import sys

import cv2

SNAPSHOT = "C:/Users/kalenvir/Desktop/cage3.png"
MAX_AREA = 10000.0


def mark(img, area_size):
    grey = cv2.cvtColor(img, cv2.COLOR_BGR2GRAY)
    grey = cv2.medianBlur(grey, 3)
    iat = cv2.adaptiveThreshold(grey, 255, cv2.ADAPTIVE_THRESH_MEAN_C, cv2.THRESH_BINARY, 71, 15)
    iat = cv2.erode(iat, None, iterations=2)
    iat = cv2.dilate(iat, None, iterations=2)
    contours, _ = cv2.findContours(iat, cv2.RETR_LIST, cv2.CHAIN_APPROX_SIMPLE)
    for contour in contours:
        area = abs(cv2.contourArea(contour))
        approx = cv2.approxPolyDP(contour, 0.02 * cv2.arcLength(contour, True), True)
        if not area_size < area < MAX_AREA or not cv2.isContourConvex(approx):
            continue
        points = approx.reshape(-1, 2).tolist()
        if 3 <= len(points) <= 8:
            for k, start in enumerate(points):
                end = points[(k + 1) % len(points)]
                cv2.line(img, tuple(start), tuple(end), (0, 255, 0), 4, 8, 0)


def open_run(argv, usage):
    """The command line's files, opened: (capture, writer, area size, snapshot path), or the
    exit status when the run cannot start."""
    if len(argv) < 4:
        sys.stderr.write(usage)
        return 2
    source, target, area_size = argv[1], argv[2], int(argv[3])
    snapshot = argv[4] if len(argv) > 4 else SNAPSHOT
    capture = cv2.VideoCapture(source)
    if not capture.isOpened():
        return 1
    fps = int(capture.get(cv2.CAP_PROP_FPS))
    size = (int(capture.get(cv2.CAP_PROP_FRAME_WIDTH)), int(capture.get(cv2.CAP_PROP_FRAME_HEIGHT)))
    writer = cv2.VideoWriter(target, cv2.VideoWriter_fourcc(*"MP42"), fps, size, True)
    return capture, writer, area_size, snapshot


def marked_frames(capture, area_size):
    """Reads the input to its end with the tool's counter; yields (count, marked copy)."""
    count = 0
    while True:
        ok, frame = capture.read()
        count += 1
        sys.stdout.write("%d/n" % count)
        sys.stdout.flush()
        if not ok:
            return
        img = frame.copy()
        mark(img, area_size)
        yield count, img


def main(argv):
    opened = open_run(argv, __doc__)
    if isinstance(opened, int):
        return opened
    capture, writer, area_size, snapshot = opened
    for _, img in marked_frames(capture, area_size):
        cv2.imwrite(snapshot, img)
        writer.write(img)
    capture.release()
    writer.release()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
