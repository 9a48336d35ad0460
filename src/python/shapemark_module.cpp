// The Python module `shapemark._shapemark`: detect and draw on numpy images, frames of a video,
// the detector's parameters.
// Detection runs without the interpreter lock, so Python threads really run in parallel.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <shapemark/detector_params.hpp>
#include <shapemark/shapemark.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "arguments.hpp"
#include "cli/version.hpp"
#include "frames_binding.hpp"
#include "params/param_fields.hpp"
#include "tracking_bindings.hpp"

namespace py = pybind11;

namespace {
using shapemark::python::asImage;
using shapemark::python::Image;

// The parameters' keywords are their snake_case keys; a bad value raises ValueError naming
// the key and its range, as DetectorParams::validate does.
shapemark::DetectorParams paramsFromKeywords(const py::kwargs& keywords) {
    namespace params = shapemark::params;
    shapemark::DetectorParams result;
    for (const auto& item : keywords) {
        const std::string key = py::str(item.first);
        const py::handle value = item.second;
        const auto* field = std::find_if(params::kParamFields.begin(), params::kParamFields.end(),
                                         [&](const params::ParamField& f) { return f.key == key; });
        if (field == params::kParamFields.end()) {
            throw py::type_error("DetectorParams() got an unexpected keyword argument '" + key +
                                 "'");
        }
        const auto bad = [&](const char* expected) {
            return py::value_error(key + " must be " + expected + ", not " +
                                   std::string(py::repr(value)));
        };
        const auto number = [&]() {
            if (!py::isinstance<py::int_>(value) && !py::isinstance<py::float_>(value)) {
                throw bad("a number");
            }
            return value.cast<double>();
        };
        std::visit(
            [&](auto member) {
                using Value = std::decay_t<decltype(result.*member)>;
                if constexpr (std::is_same_v<Value, shapemark::DetectorKind>) {
                    const auto kind = py::isinstance<py::str>(value)
                                          ? params::detectorKind(value.cast<std::string>())
                                          : std::nullopt;
                    if (!kind) {
                        throw bad("'classic' or 'robust'");
                    }
                    result.*member = *kind;
                } else if constexpr (std::is_same_v<Value, int>) {
                    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
                        throw bad("a whole number");
                    }
                    const auto whole = value.cast<long long>();
                    if (whole < INT_MIN || whole > INT_MAX) {
                        throw bad("a 32-bit whole number");
                    }
                    result.*member = static_cast<int>(whole);
                } else if constexpr (std::is_same_v<Value, double>) {
                    result.*member = number();
                } else {
                    result.*member = value.is_none() ? std::nullopt : Value(number());
                }
            },
            field->member);
    }
    result.validate();
    return result;
}

py::object fieldValue(const shapemark::DetectorParams& p, const shapemark::params::FieldMember& m) {
    return std::visit(
        [&](auto member) -> py::object {
            const auto& value = p.*member;
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, shapemark::DetectorKind>) {
                return py::str(std::string(shapemark::params::detectorName(value)));
            } else if constexpr (std::is_same_v<Value, std::optional<double>>) {
                return value ? py::object(py::float_(*value)) : py::none();
            } else {
                return py::cast(value);
            }
        },
        m);
}

std::string paramsRepr(const shapemark::DetectorParams& p) {
    std::string text = "DetectorParams(";
    for (const shapemark::params::ParamField& field : shapemark::params::kParamFields) {
        text += (text.back() == '(' ? "" : ", ") + std::string(field.key) + "=" +
                std::string(py::repr(fieldValue(p, field.member)));
    }
    return text + ")";
}

shapemark::DetectorParams withAreaSize(const std::optional<shapemark::DetectorParams>& params,
                                       int areaSize) {
    shapemark::DetectorParams result = params.value_or(shapemark::DetectorParams{});
    result.minArea = areaSize;
    return result;
}

std::vector<shapemark::Shape> detectWith(const shapemark::Detector& detector,
                                         const py::handle& image, const char* function) {
    const Image view = asImage(image, function);
    const py::gil_scoped_release unlocked;
    return detector.detect(view.mat);
}

std::vector<shapemark::Shape> detect(const py::handle& image, const py::handle& areaSizeArgument,
                                     const std::optional<shapemark::DetectorParams>& params) {
    const int areaSize = shapemark::python::intArgument(areaSizeArgument, "detect", "area_size");
    if (!params) {
        const Image view = asImage(image, "detect");
        const py::gil_scoped_release unlocked;
        return shapemark::detect(view.mat, areaSize);
    }
    return detectWith(shapemark::Detector(withAreaSize(params, areaSize)), image, "detect");
}

py::array binarise(const py::handle& image,
                   const std::optional<shapemark::DetectorParams>& params) {
    const Image view = asImage(image, "binarise");
    cv::Mat binary;
    {
        const py::gil_scoped_release unlocked;
        binary = shapemark::binarise(view.mat, params.value_or(shapemark::DetectorParams{}));
    }
    py::array_t<std::uint8_t> out({binary.rows, binary.cols});
    binary.copyTo(cv::Mat(binary.rows, binary.cols, CV_8UC1, out.mutable_data()));
    return std::move(out);
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

    py::class_<shapemark::DetectorParams> detectorParams(
        m, "DetectorParams",
        "The detector's parameters, by keyword: detector, min_area, max_area, min_vertices, "
        "max_vertices, threshold_block, threshold_offset, median_aperture, approx_tolerance, "
        "cleanup_passes; the others keep the tool's defaults. A bad value raises ValueError "
        "naming the field and its range.");
    detectorParams.def(py::init(&paramsFromKeywords),
                       "DetectorParams(**params) -> DetectorParams\n\nThe tool's defaults, with "
                       "the fields named as keywords set.");
    for (const shapemark::params::ParamField& field : shapemark::params::kParamFields) {
        detectorParams.def_property_readonly(
            field.key.data(), [member = field.member](const shapemark::DetectorParams& p) {
                return fieldValue(p, member);
            });
    }
    detectorParams.def("__repr__", &paramsRepr);

    py::class_<shapemark::Detector>(m, "Detector", "A detector built once from its DetectorParams.")
        .def(py::init<shapemark::DetectorParams>(), py::arg("params"),
             "Detector(params: DetectorParams) -> Detector")
        .def_property_readonly("params", &shapemark::Detector::params)
        .def(
            "detect",
            [](const shapemark::Detector& detector, const py::handle& image) {
                return detectWith(detector, image, "Detector.detect");
            },
            py::arg("image"),
            "detect(image: numpy.ndarray) -> list[Shape]\n\nThe image's shapes by these "
            "parameters, in drawing order.")
        .def_static("draw", &draw, py::arg("image"), py::arg("shapes"),
                    "draw(image: numpy.ndarray, shapes: Sequence[Shape]) -> numpy.ndarray\n\n"
                    "As shapemark.draw: a copy of the image with the shapes outlined.");

    m.def("detect", &detect, py::arg("image"), py::arg("area_size"), py::arg("params") = py::none(),
          "detect(image: numpy.ndarray, area_size: int, params: DetectorParams | None = None) "
          "-> list[Shape]\n\n"
          "The shapes of a BGR image whose contour area lies strictly between area_size and "
          "params.max_area (10000 by default), in drawing order; [] when there are none. "
          "area_size overrides params.min_area. The image is only read.");
    m.def("binarise", &binarise, py::arg("image"), py::arg("params") = py::none(),
          "binarise(image: numpy.ndarray, params: DetectorParams | None = None) -> "
          "numpy.ndarray\n\n"
          "The classic detector's binary image, the one its contours are traced on: (H, W) "
          "uint8, 0 where a pixel is threshold_offset darker than its surroundings (the "
          "shapes), 255 elsewhere. For tuning the parameters.");
    m.def("draw", &draw, py::arg("image"), py::arg("shapes"),
          "draw(image: numpy.ndarray, shapes: Sequence[Shape]) -> numpy.ndarray\n\n"
          "A copy of the image with the shapes outlined in green, as the shapemark tool marks "
          "a frame. The image is only read.");

    shapemark::python::bindFrames(m);
    shapemark::python::bindTracking(m);
}
