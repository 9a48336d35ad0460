#include "arguments.hpp"

#include <pybind11/numpy.h>

#include <climits>
#include <cstdint>
#include <string>

namespace py = pybind11;

namespace shapemark::python {

namespace {
std::string typeName(const py::handle& value) {
    return py::str(value.get_type().attr("__name__"));
}

constexpr const char* kExpected = "an (H, W, 3) uint8 array of BGR pixels, as OpenCV gives";

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(array.shape(i));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

}  // namespace

Image asImage(const py::handle& image, const char* function) {
    const std::string prefix = std::string(function) + ": image must be " + kExpected;
    if (!py::isinstance<py::array>(image)) {
        throw py::type_error(prefix + "; got " + std::string(py::str(image.get_type())));
    }
    auto array = py::reinterpret_borrow<py::array>(image);
    if (!array.dtype().is(py::dtype::of<std::uint8_t>())) {
        throw py::type_error(prefix + "; got dtype " + std::string(py::str(array.dtype())));
    }
    if (array.ndim() != 3 || array.shape(2) != 3 || array.shape(0) == 0 || array.shape(1) == 0) {
        throw py::value_error(prefix + "; got shape " + shapeText(array));
    }
    // OpenCV counts rows and columns in an int: a larger image would be read as a sliver of it.
    if (array.shape(0) > INT_MAX || array.shape(1) > INT_MAX) {
        PyErr_SetString(PyExc_OverflowError,
                        (prefix + "; got shape " + shapeText(array) + ", beyond OpenCV's " +
                         std::to_string(INT_MAX) + " rows or columns")
                            .c_str());
        throw py::error_already_set();
    }
    const py::ssize_t width = array.shape(1);
    if (array.strides(2) != 1 || array.strides(1) != 3 || array.strides(0) < 3 * width) {
        array = py::module_::import("numpy").attr("ascontiguousarray")(array);
    }
    const cv::Mat mat(static_cast<int>(array.shape(0)), static_cast<int>(width), CV_8UC3,
                      const_cast<void*>(array.data()), static_cast<std::size_t>(array.strides(0)));
    return {array, mat};
}

int intArgument(const py::handle& value, const char* function, const char* name) {
    const std::string what = std::string(function) + ": " + name;
    if (PyIndex_Check(value.ptr()) == 0) {
        throw py::type_error(what + " must be an int; got " + typeName(value));
    }
    const auto number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long whole = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || whole < INT_MIN || whole > INT_MAX) {
        PyErr_SetString(PyExc_OverflowError,
                        (what + " must lie between " + std::to_string(INT_MIN) + " and " +
                         std::to_string(INT_MAX))
                            .c_str());
        throw py::error_already_set();
    }
    return static_cast<int>(whole);
}

std::string pathArgument(const py::handle& value, const char* function) {
    const py::module_ os = py::module_::import("os");
    py::object path;
    try {
        path = os.attr("fsencode")(value);
    } catch (const py::error_already_set& error) {
        if (!error.matches(PyExc_TypeError)) {
            throw;
        }
        throw py::type_error(std::string(function) +
                             ": path must be str, bytes or os.PathLike; got " + typeName(value));
    }
    auto bytes = path.cast<std::string>();
    if (bytes.find('\0') != std::string::npos) {
        throw py::value_error(std::string(function) + ": path contains a NUL byte");
    }
    return bytes;
}

}  // namespace shapemark::python
