// shapemark.frames() and its Frame and Frames: the library's walk over a video, for Python.
#pragma once

#include <pybind11/pybind11.h>

namespace shapemark::python {

void bindFrames(pybind11::module_& module);

}  // namespace shapemark::python
