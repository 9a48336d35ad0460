"""Shared helpers for the end-to-end tests: test videos, bounded runs, private displays."""
import array
import contextlib
import ctypes
import ctypes.util
import fcntl
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import termios
import threading
import time

import cv2
import numpy as np

SHAPEMARK = os.environ.get("SHAPEMARK", "shapemark")
MAKE_TEST_VIDEO = os.environ.get("MAKE_TEST_VIDEO", "make_test_video")
USAGE = b" Please pass video file name, output video file name,area size, skipped frames rate\n"
SNAPSHOT = os.path.join("C:", "Users", "kalenvir", "Desktop", "cage3.png")
# Runs under a sanitizer are many times slower, more so on a busy machine: their timing means
# nothing, and their limits stretch alike, so that only a run that hangs meets one.
SANITIZED = any(name in os.environ for name in ("ASAN_OPTIONS", "TSAN_OPTIONS"))
THREAD_SANITIZED = "TSAN_OPTIONS" in os.environ
SLOWDOWN = 4 if SANITIZED else 1
RUN_LIMIT = 120 * SLOWDOWN  # seconds; every run of the tool is bounded


def counter(first, last):
    """The exact counter bytes for counts first..last."""
    return b"".join(b"%d/n" % i for i in range(first, last + 1))


def make_video(path, frames, fps=250, size=(640, 480), scene="numbered", codec="MJPG"):
    subprocess.run([MAKE_TEST_VIDEO, path, "--frames", str(frames), "--fps", str(fps),
                    "--size", "%dx%d" % size, "--scene", scene, "--codec", codec],
                   check=True, timeout=RUN_LIMIT)
    return path


def headless_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(extra)
    return env


def run_tool(args, env=None, cwd=None, timeout=RUN_LIMIT):
    """Runs the tool to its end; returns CompletedProcess with bytes stdout and stderr."""
    return subprocess.run([SHAPEMARK] + [str(a) for a in args], env=env or headless_env(),
                          cwd=cwd, capture_output=True, timeout=timeout)


def default_stop_signals():
    """For preexec_fn: the tool keeps an ignore it inherits, and the test harness may run with
    one (a background job); tests that signal the tool start it with the defaults."""
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.SIG_DFL)


def start_tool(args, env, cwd=None, preexec_fn=default_stop_signals):
    return subprocess.Popen([SHAPEMARK] + [str(a) for a in args], env=env, cwd=cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=preexec_fn)


def tool_for_any_user(folder):
    """Copies the tool and its own library into `folder`, which any user can enter, wherever
    the build lies (under /root, say); returns the copy's path and the environment it needs."""
    os.makedirs(folder, exist_ok=True)
    os.chmod(folder, 0o755)
    libraries = subprocess.run(["ldd", SHAPEMARK], capture_output=True, text=True, check=True,
                               timeout=RUN_LIMIT).stdout
    for line in libraries.splitlines():
        name, _, where = line.strip().partition(" => ")
        if name.startswith("libshapemark."):
            shutil.copy(where.split(" (")[0], os.path.join(folder, name))
    tool = shutil.copy(SHAPEMARK, os.path.join(folder, "shapemark"))
    return tool, dict(headless_env(), LD_LIBRARY_PATH=folder)


def wait_until(condition, limit=30.0, step=0.05):
    """Polls condition() until it is true; fails after `limit` seconds."""
    limit *= SLOWDOWN
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("condition not met within %.0f s" % limit)


@contextlib.contextmanager
def private_display(screen="1600x1200x24"):
    """A private Xvfb; yields an environment whose DISPLAY points at it."""
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                               screen, "-nolisten", "tcp",
                               # no reset when the last client leaves: a client
                               # connecting during a reset is refused
                               "-noreset"],
                              pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        number = pipe.readline().strip()
    env = dict(os.environ, DISPLAY=":" + number)
    env.pop("WAYLAND_DISPLAY", None)
    try:
        yield env
    finally:
        server.terminate()
        server.wait(timeout=30)


def find_windows(env, title, pid=None):
    # --all: without it xdotool matches windows that meet any one of the conditions.
    args = ["xdotool", "search", "--all"]
    if pid is not None:
        args += ["--pid", str(pid)]
    args += ["--name", "^%s$" % title]
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=30)
    return result.stdout.split()


def read_frames(path):
    """Every frame that OpenCV decodes from a video, as BGR arrays."""
    capture = cv2.VideoCapture(path)
    frames = []
    while True:
        ok, frame = capture.read()
        if not ok:
            break
        frames.append(frame)
    capture.release()
    return frames


def frame_index(frame):
    """Reads the index that the `numbered` scene writes as 12 black or white blocks."""
    height, width = frame.shape[:2]
    block = max(2, min(width // 13, height // 2) // 2 * 2)
    index = 0
    for bit in range(12):
        x = bit * width // 12
        patch = frame[block // 4: block * 3 // 4 or 1, x + block // 4: x + block * 3 // 4 or x + 1]
        if patch.mean() > 128:
            index |= 1 << bit
    return index


def decodes_cleanly(path):
    """True when ffmpeg decodes the whole file without a single error message."""
    result = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"],
                            capture_output=True, timeout=RUN_LIMIT)
    return result.returncode == 0 and result.stderr == b""


class WorkDir:
    """A temporary working folder, with the snapshot's folder when asked."""

    def __init__(self, with_snapshot_folder=True):
        self.path = tempfile.mkdtemp(prefix="shapemark-e2e-")
        if with_snapshot_folder:
            os.makedirs(os.path.join(self.path, os.path.dirname(SNAPSHOT)))

    def file(self, name):
        return os.path.join(self.path, name)

    @property
    def snapshot(self):
        return self.file(SNAPSHOT)

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)


def green_mask(image):
    return np.all(image == (0, 255, 0), axis=2)


class StdoutReader:
    """Collects a running tool's standard output without blocking, for polling."""

    def __init__(self, process):
        self.fd = process.stdout.fileno()
        os.set_blocking(self.fd, False)
        self.data = b""

    def read(self):
        with contextlib.suppress(BlockingIOError):
            while True:
                chunk = os.read(self.fd, 65536)
                if not chunk:
                    break
                self.data += chunk
        return self.data

    @staticmethod
    def counts(data):
        return [int(c) for c in re.findall(rb"(\d+)/n", data)]

    def last_count(self):
        counts = self.counts(self.read())
        return counts[-1] if counts else 0


def finish(process, reader=None, timeout=RUN_LIMIT):
    """Waits for a started tool; returns (status, all of stdout, stderr)."""
    out, err = process.communicate(timeout=timeout)
    if reader is not None:
        out = reader.data + (out or b"")
    return process.returncode, out, err


def interrupted_run(args, cwd, counts):
    """Runs the tool headless until it has printed `counts` counts, then sends SIGINT; returns
    (status, all of stdout, the last count)."""
    process = start_tool(args, headless_env(), cwd=cwd)
    reader = StdoutReader(process)
    try:
        wait_until(lambda: reader.last_count() >= counts)
        process.send_signal(signal.SIGINT)
        status, out, _ = finish(process, reader)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    return status, out, StdoutReader.counts(out)[-1]


def catches(pid, signum):
    """True while the process has a handler installed for the signal."""
    with open("/proc/%d/status" % pid) as status:
        caught = re.search(r"^SigCgt:\s*([0-9a-f]+)$", status.read(), re.M).group(1)
    return bool(int(caught, 16) >> (signum - 1) & 1)


def blocked_on_full_stdout(process):
    """True when the process sleeps with its stdout pipe full, so it is stuck writing to it."""
    fd = process.stdout.fileno()
    queued = array.array("i", [0])
    fcntl.ioctl(fd, termios.FIONREAD, queued)
    # Small writes do not always share a page, so a full pipe may hold a little less.
    if queued[0] < fcntl.fcntl(fd, fcntl.F_GETPIPE_SZ) - 4096:
        return False
    with open("/proc/%d/stat" % process.pid) as stat:
        return stat.read().rsplit(")", 1)[1].split()[0] == "S"


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def close_window(env, window):
    """Asks a window to close as a window manager's close button does (WM_DELETE_WINDOW)."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(env["DISPLAY"].encode())
    if not display:
        raise RuntimeError("cannot open display " + env["DISPLAY"])
    event = _XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = int(window)
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XCloseDisplay(display)  # flushes the request


def send_key(env, window, key):
    """Focuses a window and types one key into it through the XTEST extension."""
    subprocess.run(["xdotool", "windowfocus", "--sync", str(window)], env=env, check=True,
                   timeout=30)
    subprocess.run(["xdotool", "key", key], env=env, check=True, timeout=30)


def ffprobe_stream(path):
    """The first video stream's properties, as ffprobe names them."""
    result = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0",
                             "-show_entries", "stream", "-of", "default=noprint_wrappers=1",
                             path], capture_output=True, text=True, check=True, timeout=RUN_LIMIT)
    return dict(line.split("=", 1) for line in result.stdout.splitlines() if "=" in line)


_X11_REFUSAL = b"No protocol specified\n\0\0"
_FAKE_REPLIES = {
    "hangs up": b"\0",
    # Success, protocol 11.0, and 400 more bytes promised that never come: a server that
    # passes the tool's probe and fails the window toolkit.
    "accepts, then hangs up": bytes([1, 0, 11, 0, 0, 0, 100, 0]),
    "garbage": b"HTTP/1.1 400 Bad Request\r\n\r\n",
    # Failed, reason length, protocol 11.0, length in 4-byte units, reason.
    "refuses the cookie": bytes([0, len(_X11_REFUSAL) - 2]) + (11).to_bytes(2, "little")
    + bytes(2) + (len(_X11_REFUSAL) // 4).to_bytes(2, "little") + _X11_REFUSAL,
}


@contextlib.contextmanager
def fake_tcp_display(behaviour):
    """A display at 127.0.0.1 port 6000+N that `refuses` connections, stays `silent` (accepts
    and never speaks), or reads the setup and then `hangs up` after one byte of reply, answers
    `garbage`, `refuses the cookie` as an X server does, or `accepts, then hangs up`; yields
    its DISPLAY value."""
    server = socket.socket()
    number = next(n for n in range(100, 1000) if _binds(server, 6000 + n))
    stop = threading.Event()
    thread = None
    if behaviour != "refuses":
        server.listen(16)
    if behaviour in _FAKE_REPLIES:
        server.settimeout(0.1)

        def serve():
            while not stop.is_set():
                try:
                    connection, _ = server.accept()
                except socket.timeout:
                    continue
                with connection:
                    connection.settimeout(5)
                    with contextlib.suppress(OSError):
                        connection.recv(4096)
                        connection.sendall(_FAKE_REPLIES[behaviour])
        thread = threading.Thread(target=serve, daemon=True)
        thread.start()
    try:
        yield "127.0.0.1:%d" % number
    finally:
        stop.set()
        if thread is not None:
            thread.join(timeout=30)
        server.close()


def _binds(server, port):
    try:
        server.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False
