#include "output/detection_log.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "output/files.hpp"

namespace shapemark {

namespace {
constexpr int kTimeDecimals = 3;
constexpr int kAreaDecimals = 1;
constexpr int kCentreDecimals = 2;

// std::to_chars ignores the locale: a '.' decimal point everywhere.
void appendFixed(std::string& out, double value, int decimals) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    out.append(text.data(), result.ptr);
}

void appendInt(std::string& out, long long value) {
    std::array<char, 24> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), result.ptr);
}

// A capture without time stamps may report nothing usable; the field is then left empty (CSV)
// or null (JSON) rather than made up.
void appendTime(std::string& out, double timeMs, const char* missing) {
    if (std::isfinite(timeMs)) {
        appendFixed(out, timeMs, kTimeDecimals);
    } else {
        out += missing;
    }
}

// A shape's id, or 0 when it has none.
int idOf(const ProcessedFrame& frame, std::size_t shape) {
    return shape < frame.ids.size() ? frame.ids[shape] : 0;
}

void formatCsv(const ProcessedFrame& frame, LogIds ids, std::string& out) {
    for (std::size_t i = 0; i < frame.shapes.size(); ++i) {
        const Shape& shape = frame.shapes[i];
        const cv::Point2d& centre = shape.centre;
        appendInt(out, frame.frameCount);
        out += ',';
        appendTime(out, frame.timeMs, "");
        out += ',';
        appendInt(out, static_cast<long long>(i));
        out += ',';
        if (ids == LogIds::With && idOf(frame, i) != 0) {
            appendInt(out, idOf(frame, i));
        }
        if (ids == LogIds::With) {
            out += ',';
        }
        appendInt(out, static_cast<long long>(shape.polygon.size()));
        out += ',';
        appendFixed(out, shape.area, kAreaDecimals);
        out += ',';
        appendFixed(out, centre.x, kCentreDecimals);
        out += ',';
        appendFixed(out, centre.y, kCentreDecimals);
        out += ',';
        for (std::size_t k = 0; k < shape.polygon.size(); ++k) {
            if (k > 0) {
                out += ' ';
            }
            appendInt(out, shape.polygon[k].x);
            out += ' ';
            appendInt(out, shape.polygon[k].y);
        }
        out += '\n';
    }
}

void formatJson(const ProcessedFrame& frame, LogIds ids, std::string& out) {
    out += "{\"frame\": ";
    appendInt(out, frame.frameCount);
    out += ", \"time_ms\": ";
    appendTime(out, frame.timeMs, "null");
    out += ", \"shapes\": [";
    for (std::size_t i = 0; i < frame.shapes.size(); ++i) {
        const Shape& shape = frame.shapes[i];
        const cv::Point2d& centre = shape.centre;
        out += i > 0 ? ", {" : "{";
        if (ids == LogIds::With) {
            out += "\"id\": ";
            if (idOf(frame, i) != 0) {
                appendInt(out, idOf(frame, i));
            } else {
                out += "null";
            }
            out += ", ";
        }
        out += "\"vertices\": ";
        appendInt(out, static_cast<long long>(shape.polygon.size()));
        out += ", \"area\": ";
        appendFixed(out, shape.area, kAreaDecimals);
        out += ", \"centre\": [";
        appendFixed(out, centre.x, kCentreDecimals);
        out += ", ";
        appendFixed(out, centre.y, kCentreDecimals);
        out += "], \"polygon\": [";
        for (std::size_t k = 0; k < shape.polygon.size(); ++k) {
            out += k > 0 ? ", [" : "[";
            appendInt(out, shape.polygon[k].x);
            out += ", ";
            appendInt(out, shape.polygon[k].y);
            out += ']';
        }
        out += "]}";
    }
    out += "]}\n";
}
}  // namespace

std::string_view logHeader(LogFormat format, LogIds ids) {
    if (format != LogFormat::Csv) {
        return "";
    }
    return ids == LogIds::With ? "frame,time_ms,shape,id,vertices,area,centre_x,centre_y,polygon\n"
                               : "frame,time_ms,shape,vertices,area,centre_x,centre_y,polygon\n";
}

void formatFrame(LogFormat format, const ProcessedFrame& frame, std::string& out, LogIds ids) {
    if (format == LogFormat::Csv) {
        formatCsv(frame, ids, out);
    } else {
        formatJson(frame, ids, out);
    }
}

DetectionLog::DetectionLog(std::string path, LogFormat format, LogIds ids)
    : path_(std::move(path)), format_(format), ids_(ids) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        failure_ = "shapemark: cannot write detection log '" + path_ + "': " + std::strerror(errno);
        return;
    }
    write(logHeader(format_, ids_));
}

DetectionLog::~DetectionLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool DetectionLog::write(std::string_view bytes) {
    if (failure_.empty() && !writeAll(fd_, bytes.data(), bytes.size())) {
        // A write that took nothing leaves no error code; on a file that means a full disk.
        std::string reason = errno != 0 ? std::strerror(errno) : "the disk is full";
        // Part of a row would pass for a whole one (a CSV reader takes a polygon cut short), so
        // the file goes back to the end of its last whole frame. A pipe cannot, and needs not.
        if (::ftruncate(fd_, whole_) != 0 && errno != EINVAL) {
            reason += "; its last row may be cut short";
        }
        failure_ = "shapemark: detection log '" + path_ +
                   "' is incomplete: " + std::to_string(frames_) + " frames made it (" + reason +
                   ")";
        return false;
    }
    whole_ += static_cast<off_t>(bytes.size());
    return failure_.empty();
}

bool DetectionLog::append(const ProcessedFrame& frame) {
    if (!failure_.empty()) {
        return false;
    }
    buffer_.clear();
    formatFrame(format_, frame, buffer_, ids_);
    if (!write(buffer_)) {
        return false;
    }
    ++frames_;
    return true;
}

std::string DetectionLog::close() {
    if (fd_ < 0) {
        return failure_;
    }
    // On the disk before the run reports success: a write-back error shows only here.
    int error = syncToDisk(fd_);
    if (::close(std::exchange(fd_, -1)) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0 && failure_.empty()) {
        failure_ = "shapemark: detection log '" + path_ +
                   "' is incomplete (writing it out to the disk failed: " + std::strerror(error) +
                   ")";
    }
    return failure_;
}

}  // namespace shapemark
