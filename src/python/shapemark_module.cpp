// The Python module `shapemark._shapemark`: detect and draw on numpy images, frames of a video.
// Detection runs without the interpreter lock, so Python threads really run in parallel.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <shapemark/shapemark.hpp>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "cli/version.hpp"
#include "frames_binding.hpp"
#include "tracking_bindings.hpp"

namespace py = pybind11;

namespace {

constexpr const char* kExpected = "an (H, W, 3) uint8 array of BGR pixels, as OpenCV gives";

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(array.shape(i));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

// The image as a cv::Mat over the array's own pixels. A cv::Mat steps between rows only, so
// a view whose pixels or channels are not packed within a row is copied first.
struct Image {
    py::array array;  // keeps the pixels alive
    cv::Mat mat;
};

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

std::vector<shapemark::Shape> detect(const py::handle& image, const py::handle& areaSizeArgument) {
    const int areaSize = shapemark::python::intArgument(areaSizeArgument, "detect", "area_size");
    const Image view = asImage(image, "detect");
    const py::gil_scoped_release unlocked;
    return shapemark::detect(view.mat, areaSize);
}

py::array draw(const py::handle& image, const std::vector<shapemark::Shape>& shapes) {
    const Image view = asImage(image, "draw");
    py::array_t<std::uint8_t> marked({view.mat.rows, view.mat.cols, 3});
    cv::Mat out(view.mat.rows, view.mat.cols, CV_8UC3, marked.mutable_data());
    {
        const py::gil_scoped_release unlocked;
        view.mat.copyTo(out);
        shapemark::draw(out, shapes);
    }
    return std::move(marked);
}

// The polygon as a read-only (k, 2) int32 view of the shape's own vertices.
py::array polygonOf(const py::object& self) {
    const auto& shape = self.cast<const shapemark::Shape&>();
    static_assert(sizeof(cv::Point) == 2 * sizeof(std::int32_t), "cv::Point is two int32");
    py::array_t<std::int32_t> polygon(
        {static_cast<py::ssize_t>(shape.polygon.size()), py::ssize_t{2}},
        {static_cast<py::ssize_t>(sizeof(cv::Point)), static_cast<py::ssize_t>(sizeof(int))},
        shape.polygon.empty() ? nullptr : &shape.polygon.front().x, self);
    py::detail::array_proxy(polygon.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return std::move(polygon);
}

std::string shapeRepr(const shapemark::Shape& shape) {
    return "Shape(vertices=" + std::to_string(shape.polygon.size()) +
           ", area=" + std::string(py::str(py::float_(shape.area))) + ", centre=(" +
           std::string(py::str(py::float_(shape.centre.x))) + ", " +
           std::string(py::str(py::float_(shape.centre.y))) + "))";
}

}  // namespace

PYBIND11_MODULE(_shapemark, m) {
    m.doc() = "The compiled part of the shapemark package.";
    // The signatures are written out in each docstring, so that help() names the types a caller
    // passes (numpy.ndarray, int) rather than the binding's own (handle, object).
    py::options options;
    options.disable_function_signatures();
    m.attr("__version__") = shapemark::cli::kVersion;

    py::class_<shapemark::Shape>(m, "Shape", "One shape found in an image.")
        .def_property_readonly("polygon", &polygonOf,
                               "The outlined polygon: a read-only (k, 2) int32 array of x, y.")
        .def_readonly("area", &shapemark::Shape::area,
                      "Its contour's area in square pixels, as the area window tests it.")
        .def_property_readonly(
            "centre",
            [](const shapemark::Shape& shape) {
                return py::make_tuple(shape.centre.x, shape.centre.y);
            },
            "The polygon's centroid, (x, y).")
        .def("__repr__", &shapeRepr);

    m.def("detect", &detect, py::arg("image"), py::arg("area_size"),
          "detect(image: numpy.ndarray, area_size: int) -> list[Shape]\n\n"
          "The shapes of a BGR image whose contour area lies strictly between area_size and "
          "10000, in drawing order; [] when there are none. The image is only read.");
    m.def("draw", &draw, py::arg("image"), py::arg("shapes"),
          "draw(image: numpy.ndarray, shapes: Sequence[Shape]) -> numpy.ndarray\n\n"
          "A copy of the image with the shapes outlined in green, as the shapemark tool marks "
          "a frame. The image is only read.");

    shapemark::python::bindFrames(m);
    shapemark::python::bindTracking(m);
}
