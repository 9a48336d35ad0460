// Arguments from Python, checked by name: a wrong type is one short TypeError that names the
// argument and what it takes, never pybind11's listing of every overload with the values given.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <opencv2/core.hpp>

#include <string>

namespace shapemark::python {

// A Python int (or anything with __index__) that fits a C int. Anything else raises TypeError;
// an int out of range raises OverflowError.
int intArgument(const pybind11::handle& value, const char* function, const char* name);

// The image as a cv::Mat over the array's own pixels. A cv::Mat steps between rows only, so
// a view whose pixels or channels are not packed within a row is copied first.
struct Image {
    pybind11::array array;  // keeps the pixels alive
    cv::Mat mat;
};

// An (H, W, 3) uint8 array of BGR pixels; anything else raises TypeError or ValueError (or
// OverflowError beyond OpenCV's int rows and columns), naming `function`.
Image asImage(const pybind11::handle& image, const char* function);

// A path as the operating system takes it: str, bytes or os.PathLike, a str encoded as
// os.fsencode does. A NUL raises ValueError, as open() does.
std::string pathArgument(const pybind11::handle& value, const char* function);

}  // namespace shapemark::python
