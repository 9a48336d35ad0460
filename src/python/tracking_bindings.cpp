#include "tracking_bindings.hpp"

#include "arguments.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <utility>

namespace py = pybind11;

namespace shapemark::python {

namespace {
py::object idOrNone(int id) {
    return id == 0 ? py::object(py::none()) : py::object(py::int_(id));
}
}  // namespace

py::list identified(const std::vector<TrackedShape>& tracked) {
    py::list shapes;
    for (const TrackedShape& one : tracked) {
        IdentifiedShape shape;
        static_cast<Shape&>(shape) = one.shape;
        shape.id = one.id;
        shapes.append(py::cast(std::move(shape)));
    }
    return shapes;
}

void bindTracking(py::module_& m) {
    auto shape = py::reinterpret_borrow<py::class_<Shape>>(m.attr("Shape"));
    // A caller's own polygons, to be tracked: the area and centre as the detector gives them.
    shape.def(
        py::init([](const py::array_t<int, py::array::c_style | py::array::forcecast>& polygon) {
            if (polygon.ndim() != 2 || polygon.shape(1) != 2) {
                throw py::value_error("Shape: polygon must be a (k, 2) array of x, y");
            }
            std::vector<cv::Point> vertices;
            for (py::ssize_t k = 0; k < polygon.shape(0); ++k) {
                vertices.emplace_back(polygon.at(k, 0), polygon.at(k, 1));
            }
            return shapeOf(std::move(vertices));
        }),
        py::arg("polygon"),
        "A shape of one's own from its (k, 2) vertices, for a Tracker: its area and "
        "centre are worked out as detect() does.");
    shape.def_property_readonly(
        "id", [](const Shape& /*shape*/) { return py::none(); },
        "The shape's id from a Tracker: None unless tracked.");

    py::class_<IdentifiedShape, Shape>(
        m, "TrackedShape", "A Shape with the id its track has in its frame, as a Tracker gives it.")
        .def_property_readonly(
            "id", [](const IdentifiedShape& s) { return idOrNone(s.id); },
            "The track's id, 1, 2, 3, ... in the order tracks are confirmed; None while the "
            "track is tentative.");

    const TrackerParams defaults;
    py::class_<Tracker>(m, "Tracker",
                        "Gives each shape an id that it keeps from frame to frame. Ids start at 1 "
                        "in each Tracker and are never given twice.")
        .def(py::init([](double minOverlap, double centreGate, int confirmFrames,
                         int keepLostFrames, double shapeWeight, double colourWeight) {
                 TrackerParams params;
                 params.minOverlap = minOverlap;
                 params.centreGate = centreGate;
                 params.confirmFrames = confirmFrames;
                 params.keepLostFrames = keepLostFrames;
                 params.shapeWeight = shapeWeight;
                 params.colourWeight = colourWeight;
                 return Tracker(params);  // ValueError naming the parameter out of range
             }),
             py::kw_only(), py::arg("min_overlap") = defaults.minOverlap,
             py::arg("centre_gate") = defaults.centreGate,
             py::arg("confirm_frames") = defaults.confirmFrames,
             py::arg("keep_lost_frames") = defaults.keepLostFrames,
             py::arg("shape_weight") = defaults.shapeWeight,
             py::arg("colour_weight") = defaults.colourWeight,
             "min_overlap: least intersection over union with the track's expected polygon, "
             "0 to 1; centre_gate: farthest distance in pixels from the track's expected "
             "centre; confirm_frames: processed frames in a row before a new track gets an id; "
             "keep_lost_frames: input frames a lost track is kept; shape_weight: cost of an "
             "outline unlike the track's (vertex count, area), 0 to 10; colour_weight: cost of "
             "a mean colour unlike the track's, 0 to 10, with update(..., image=...) only.")
        .def(
            "update",
            [](Tracker& tracker, long long frameNumber, const std::vector<Shape>& shapes,
               std::optional<std::pair<int, int>> frameSize, const py::object& image) {
                const cv::Size size =
                    frameSize ? cv::Size(frameSize->first, frameSize->second) : cv::Size();
                std::optional<Image> view;
                if (!image.is_none()) {
                    view = asImage(image, "Tracker.update");
                }
                std::vector<TrackedShape> tracked;
                {
                    const py::gil_scoped_release unlocked;
                    // Sampled only when the cue uses them, as the tool does.
                    const std::vector<cv::Scalar> colours =
                        view && tracker.params().usesColour() ? Tracker::colours(view->mat, shapes)
                                                              : std::vector<cv::Scalar>();
                    tracked = tracker.update(frameNumber, shapes, size, colours);
                }
                return identified(tracked);
            },
            py::arg("frame_number"), py::arg("shapes"), py::arg("frame_size") = py::none(),
            py::arg("image") = py::none(),
            "Every shape of the frame, in the given order, as a TrackedShape with its id (None "
            "while its track is tentative). frame_number counts input frames and must increase "
            "from call to call; skipped frames may leave gaps. Raises ValueError otherwise. "
            "frame_size=(width, height), when known, ends the tracks of shapes that left the "
            "frame, so shapes entering there get new ids. image, the frame the shapes were found "
            "in as captured (an (H, W, 3) uint8 BGR array, before anything is drawn on it), "
            "gives each shape its mean colour for colour_weight.");
}

}  // namespace shapemark::python
