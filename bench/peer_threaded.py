#!/usr/bin/python3
"""The careful peer: the same per-frame work and outputs as peer.py, written as a careful
OpenCV-Python user would, with the outputs off the main thread. PNG encodes run on a thread
pool and replace the snapshot in frame order; the video is written by one thread of its own.
OpenCV releases the GIL inside imencode and VideoWriter.write, so they overlap the next frames.

    peer_threaded.py INPUT OUTPUT AREASIZE [SNAPSHOT]
"""
import collections
import concurrent.futures
import os
import queue
import sys
import threading

import cv2

from peer import marked_frames, open_run


def encode_to_temp(img, temp):
    """Encodes the snapshot and writes it beside the real one; returns the file, or None."""
    ok, data = cv2.imencode(".png", img)
    if not ok:
        return None
    try:
        with open(temp, "wb") as out:
            out.write(data)
    except OSError:
        return None  # no snapshot folder: like imwrite, say nothing
    return temp


def write_video(writer, frames):
    while True:
        img = frames.get()
        if img is None:
            return
        writer.write(img)


def main(argv):
    opened = open_run(argv, __doc__)
    if isinstance(opened, int):
        return opened
    capture, writer, area_size, snapshot = opened
    workers = os.cpu_count() or 1
    in_flight = 2 * workers  # frames held by each output at most: memory stays bounded
    frames = queue.Queue(maxsize=in_flight)
    video = threading.Thread(target=write_video, args=(writer, frames))
    video.start()
    pending = collections.deque()
    # The temporary files sit in the snapshot's folder so that the rename is atomic.
    temp_base = os.path.join(os.path.dirname(snapshot) or ".",
                             ".%s.%d." % (os.path.basename(snapshot), os.getpid()))

    def replace_oldest():
        temp = pending.popleft().result()
        if temp is not None:
            os.replace(temp, snapshot)

    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        for count, img in marked_frames(capture, area_size):
            pending.append(pool.submit(encode_to_temp, img, "%s%d.tmp" % (temp_base, count)))
            frames.put(img)
            # In frame order, so the snapshot never goes back to an older frame.
            while pending and (pending[0].done() or len(pending) > in_flight):
                replace_oldest()
        while pending:
            replace_oldest()
    frames.put(None)
    video.join()
    capture.release()
    writer.release()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
