#include "frames_binding.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <shapemark/detector_params.hpp>
#include <shapemark/frames.hpp>
#include <shapemark/tracker.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "arguments.hpp"
#include "tracking_bindings.hpp"

namespace py = pybind11;

namespace shapemark::python {

namespace {
// Hands the frame's pixels to numpy without a copy; the array owns them from then on.
py::array arrayOf(cv::Mat frame) {
    auto owner = std::make_unique<cv::Mat>(std::move(frame));
    const cv::Mat& mat = *owner;
    const py::capsule base(owner.get(), [](void* p) { delete static_cast<cv::Mat*>(p); });
    static_cast<void>(owner.release());  // the capsule owns it now
    return py::array_t<std::uint8_t>(
        {py::ssize_t{mat.rows}, py::ssize_t{mat.cols}, py::ssize_t{3}},
        {static_cast<py::ssize_t>(mat.step[0]), py::ssize_t{3}, py::ssize_t{1}}, mat.data, base);
}

// One processed frame of a video, as Python holds it.
struct PyFrame {
    long long number = 0;
    py::object timeMs;
    py::array image;
    py::list shapes;
};

// The OSError an unopened input raises: errno and its message where the system gave one, so
// that it never prints as "[Errno None] None".
[[noreturn]] void raiseOpenError(const OpenError& error, const std::string& path) {
    // Both as the operating system spells them: a name need not be UTF-8.
    const py::object fsdecode = py::module_::import("os").attr("fsdecode");
    const py::object message = fsdecode(py::bytes(std::string("frames: ") + error.what()));
    const auto osError = py::reinterpret_borrow<py::object>(PyExc_OSError);
    // A filename prints as "[Errno N] message: 'name'", so it goes only with an errno.
    const py::object exception =
        error.errorNumber() != 0 ? osError(error.errorNumber(), message, fsdecode(py::bytes(path)))
                                 : osError(message);
    // OSError(errno, ...) makes the subclass that errno names (FileNotFoundError, ...).
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    throw py::error_already_set();
}

class PyFrames {
  public:
    PyFrames(const std::string& path, const DetectorParams& params, int skipRate, bool track) {
        if (track) {
            tracker_.emplace();
        }
        try {
            const py::gil_scoped_release unlocked;
            frames_ = std::make_unique<Frames>(path, params, skipRate);
        } catch (const OpenError& error) {
            raiseOpenError(error, path);
        } catch (const std::invalid_argument&) {
            throw py::value_error("frames: skip_rate must be a whole number other than 0");
        }
    }

    PyFrame next() {
        std::optional<Frame> got;
        std::vector<TrackedShape> tracked;
        {
            const py::gil_scoped_release unlocked;
            // Two threads may share one iterator: each gets whole frames, in order, and the
            // tracker sees them in that order.
            const std::lock_guard<std::mutex> lock(mutex_);
            got = frames_->next();
            if (got && tracker_) {
                tracked = tracker_->update(got->number, got->shapes, got->image.size(),
                                           tracker_->params().usesColour()
                                               ? Tracker::colours(got->image, got->shapes)
                                               : std::vector<cv::Scalar>());
            }
        }
        if (!got) {
            throw py::stop_iteration();
        }
        PyFrame frame;
        frame.number = got->number;
        frame.timeMs = got->timeMs ? py::object(py::float_(*got->timeMs)) : py::none();
        frame.image = arrayOf(std::move(got->image));
        frame.shapes = tracker_ ? identified(tracked) : py::list(py::cast(std::move(got->shapes)));
        return frame;
    }

    [[nodiscard]] const Frames& frames() const { return *frames_; }

  private:
    std::unique_ptr<Frames> frames_;
    std::optional<Tracker> tracker_;  // with track=True
    std::mutex mutex_;
};
}  // namespace

void bindFrames(py::module_& module) {
    py::class_<PyFrame>(module, "Frame", "One processed frame of a video.")
        .def_readonly("number", &PyFrame::number,
                      "The frame's 1-based position in the input, as the tool counts it.")
        .def_readonly("time_ms", &PyFrame::timeMs,
                      "The frame's time stamp in ms; None where the input tells none.")
        .def_readonly("image", &PyFrame::image,
                      "The frame as captured, an (H, W, 3) uint8 numpy.ndarray.")
        .def_readonly("shapes", &PyFrame::shapes, "The frame's shapes, as detect() gives them.")
        .def("__repr__", [](const PyFrame& frame) {
            return "Frame(number=" + std::to_string(frame.number) +
                   ", time_ms=" + std::string(py::repr(frame.timeMs)) +
                   ", shapes=" + std::to_string(py::len(frame.shapes)) + ")";
        });

    py::class_<PyFrames>(module, "Frames", "An iterator over the processed frames of a video.")
        .def("__iter__", [](const py::object& self) { return self; })
        .def("__next__", &PyFrames::next)
        .def_property_readonly(
            "fps", [](const PyFrames& self) { return self.frames().fps(); },
            "The input's frame rate, or None when it tells none.")
        .def_property_readonly(
            "size",
            [](const PyFrames& self) {
                const cv::Size size = self.frames().size();
                return py::make_tuple(size.width, size.height);
            },
            "The frames' (width, height).")
        .def_property_readonly(
            "frame_count", [](const PyFrames& self) { return self.frames().frameCount(); },
            "The frames the input holds, or None when it does not tell.");

    module.def(
        "frames",
        [](const py::object& path, const py::object& areaSize, const py::object& skipRate,
           const std::optional<DetectorParams>& params, bool track) {
            // area_size wins over params.min_area, as AREASIZE does over the file.
            DetectorParams chosen = params.value_or(DetectorParams{});
            chosen.minArea = intArgument(areaSize, "frames", "area_size");
            chosen.validate();
            return std::make_unique<PyFrames>(pathArgument(path, "frames"), chosen,
                                              intArgument(skipRate, "frames", "skip_rate"), track);
        },
        py::arg("path"), py::arg("area_size"), py::arg("skip_rate") = 1,
        py::arg("params") = py::none(), py::arg("track") = false,
        "frames(path: str | bytes | os.PathLike, area_size: int, skip_rate: int = 1, "
        "params: DetectorParams | None = None, track: bool = False) -> Frames\n\n"
        "Iterates the processed frames of the video at path, as the shapemark tool chooses "
        "them: every skip_rate-th frame (a negative rate as its absolute value), damaged frames "
        "counted and left out. path is what the tool's INPUT takes: a file, '-' for standard "
        "input, a camera such as '/dev/video0', a URL or 'pipe:N'. Raises OSError, with the "
        "reason, when the video cannot be opened, and ValueError for a skip_rate of 0. With "
        "track=True, each frame's shapes are TrackedShapes whose ids, from a Tracker with "
        "default parameters, are those of shapemark --track.");
}

}  // namespace shapemark::python
