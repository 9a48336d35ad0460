#!/usr/bin/python3
"""The Python module's costs, side by side in one run, with one OpenCV thread throughout:

- detect: the module's detect() against the library's own (bench/api_benchmarks), per call, on
  the same frames of real footage; rounds alternate between the two.
- threads: the same frames detected by two Python threads (half each) against one thread (all),
  wall time; rounds alternate. Below 1 only if the interpreter lock is released while detecting.

    PYTHONPATH=build/python bench/python_api.py [--build DIR] [--video PATH] [--frames N]
                                                [--rounds N] [--seconds S]
"""
import argparse
import json
import os
import statistics
import subprocess
import threading
import time

import cv2

import shapemark

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VTEST = "/usr/share/doc/opencv-doc/examples/data/vtest.avi"
AREA_SIZE = 100


def first_frames(path, count):
    capture = cv2.VideoCapture(path)
    frames = []
    while len(frames) < count:
        ok, frame = capture.read()
        if not ok:
            break
        frames.append(frame)
    return frames


def cpp_detect_us(build, video, count, seconds):
    out = subprocess.run([os.path.join(build, "bench", "api_benchmarks"), video, str(count),
                          "--benchmark_format=json", "--benchmark_min_time=%g" % seconds],
                         capture_output=True, text=True, check=True, timeout=600).stdout
    run = json.loads(out)["benchmarks"][0]
    assert run["time_unit"] == "us"
    return run["real_time"]


def python_detect_us(frames, seconds):
    calls = 0
    start = time.perf_counter()
    deadline = start + seconds
    while time.perf_counter() < deadline:
        for frame in frames:
            shapemark.detect(frame, AREA_SIZE)
        calls += len(frames)
    return (time.perf_counter() - start) / calls * 1e6


def threaded_seconds(frames, threads, repeat):
    parts = [frames[k::threads] * repeat for k in range(threads)]

    def work(part):
        for frame in part:
            shapemark.detect(frame, AREA_SIZE)

    workers = [threading.Thread(target=work, args=(part,)) for part in parts]
    start = time.perf_counter()
    cpu = time.process_time()
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    wall = time.perf_counter() - start
    return wall, (time.process_time() - cpu) / wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--video", default=VTEST)
    parser.add_argument("--frames", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=2.0)
    args = parser.parse_args()
    cv2.setNumThreads(1)  # the module shares this OpenCV: its own loops run serially too
    frames = first_frames(args.video, args.frames)
    height, width = frames[0].shape[:2]
    print("%d frames of %dx%d from %s, %d rounds, one OpenCV thread, %d cores, load %.2f"
          % (len(frames), width, height, args.video, args.rounds, os.cpu_count(),
             os.getloadavg()[0]))

    cpp, python, ratios = [], [], []
    for _ in range(args.rounds):
        cpp.append(cpp_detect_us(args.build, args.video, len(frames), args.seconds))
        python.append(python_detect_us(frames, args.seconds))
        ratios.append(python[-1] / cpp[-1])
    print("detect per call: C++ median %.0f us, Python median %.0f us; Python/C++ median %.3f "
          "(min %.3f, max %.3f)" % (statistics.median(cpp), statistics.median(python),
                                    statistics.median(ratios), min(ratios), max(ratios)))

    repeat = max(1, round(args.seconds * 1e6 / statistics.median(python) / len(frames)))
    one, two, ratios, busy = [], [], [], []
    for _ in range(args.rounds):
        one.append(threaded_seconds(frames, 1, repeat)[0])
        wall, cores = threaded_seconds(frames, 2, repeat)
        two.append(wall)
        busy.append(cores)
        ratios.append(two[-1] / one[-1])
    print("%d detects: one thread median %.2f s, two threads median %.2f s; two/one median %.3f "
          "(min %.3f, max %.3f)" % (len(frames) * repeat, statistics.median(one),
                                    statistics.median(two), statistics.median(ratios),
                                    min(ratios), max(ratios)))
    # Held, the lock would keep the process on one core whatever the machine's load.
    print("two threads kept %.2f cores busy (median CPU time / wall time)"
          % statistics.median(busy))
    print("load after: %.2f" % os.getloadavg()[0])


if __name__ == "__main__":
    main()
