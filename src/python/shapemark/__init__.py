"""Finds simple convex shapes (triangles to octagons) in images and videos.

detect(image, area_size) lists the shapes of one BGR image, draw(image, shapes) returns a copy
with their green outlines, and frames(path, area_size) walks a video as the shapemark tool does.
Tracker().update(frame_number, shapes) gives each shape an id it keeps from frame to frame.
"""

from ._shapemark import Frame, Frames, Shape, __version__, detect, draw, frames
from ._shapemark import TrackedShape, Tracker

__all__ = ["Frame", "Frames", "Shape", "TrackedShape", "Tracker", "__version__", "detect", "draw",
           "frames"]
