// Runs the robust detector over a video and writes the detection log the tool's
// --detections=FILE.jsonl writes, so that bench/score_detections.py scores it the same way.
//   robust_detections VIDEO LOG.jsonl [AREASIZE]
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "detector/robust_detect.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: robust_detections VIDEO LOG.jsonl [AREASIZE]\n");
        return 2;
    }
    cv::VideoCapture capture(argv[1]);
    if (!capture.isOpened()) {
        std::fprintf(stderr, "robust_detections: cannot open %s\n", argv[1]);
        return 1;
    }
    shapemark::DetectorParams params;
    params.detector = shapemark::DetectorKind::Robust;
    params.minArea = argc > 3 ? static_cast<int>(std::strtol(argv[3], nullptr, 10)) : 300;
    params.maxArea.reset();
    const double fps = capture.get(cv::CAP_PROP_FPS);
    std::ofstream log(argv[2]);
    cv::Mat frame;
    for (int count = 1; capture.read(frame); ++count) {
        char head[64];
        std::snprintf(head, sizeof head, "{\"frame\": %d, \"time_ms\": %.3f, \"shapes\": [", count,
                      fps > 0 ? (count - 1) * 1000.0 / fps : 0.0);
        log << head;
        const char* separator = "";
        for (const shapemark::Shape& shape : shapemark::detectRobust(frame, params)) {
            char item[128];
            std::snprintf(item, sizeof item,
                          "%s{\"vertices\": %zu, \"area\": %.1f, \"centre\": [%.2f, %.2f], "
                          "\"polygon\": [",
                          separator, shape.polygon.size(), shape.area, shape.centre.x,
                          shape.centre.y);
            log << item;
            for (std::size_t k = 0; k < shape.polygon.size(); ++k) {
                log << (k ? ", [" : "[") << shape.polygon[k].x << ", " << shape.polygon[k].y << "]";
            }
            log << "]}";
            separator = ", ";
        }
        log << "]}\n";
    }
    return log.good() ? 0 : 1;
}
