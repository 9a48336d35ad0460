"""Finds simple convex shapes (triangles to octagons) in images and videos.

detect(image, area_size) lists the shapes of one BGR image, draw(image, shapes) returns a copy
with their green outlines, and frames(path, area_size) walks a video as the shapemark tool does.
Each takes params=DetectorParams(...) to tune the detector; Detector(params) keeps them, and
binarise(image, params) shows the binary image the shapes are traced on.
Tracker().update(frame_number, shapes) gives each shape an id it keeps from frame to frame.
"""

from ._shapemark import (
    Detector,
    DetectorParams,
    Frame,
    Frames,
    Shape,
    TrackedShape,
    Tracker,
    __version__,
    binarise,
    detect,
    draw,
    frames,
)

__all__ = [
    "Detector",
    "DetectorParams",
    "Frame",
    "Frames",
    "Shape",
    "TrackedShape",
    "Tracker",
    "__version__",
    "binarise",
    "detect",
    "draw",
    "frames",
]
