// Detects and draws the shapes of a made-up image through the installed library only, and
// prints what it found; tools/ci/downstream.sh compares the output.
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <optional>
#include <shapemark/detector_params.hpp>
#include <shapemark/frames.hpp>
#include <shapemark/shapemark.hpp>
#include <stdexcept>
#include <string>

int main() {
    // One dark 40x40 square on a light page, its centre at (79.5, 59.5).
    cv::Mat page(120, 160, CV_8UC3, cv::Scalar(230, 230, 230));
    cv::rectangle(page, cv::Point(60, 40), cv::Point(99, 79), cv::Scalar(20, 20, 20), cv::FILLED);
    const cv::Mat before = page.clone();

    const std::vector<shapemark::Shape> shapes = shapemark::detect(page, 100);
    if (cv::norm(page, before, cv::NORM_INF) != 0) {
        std::cout << "detect changed its input\n";
        return 1;
    }
    std::cout << shapes.size() << " shape(s)\n";
    for (const shapemark::Shape& shape : shapes) {
        const bool centred = std::hypot(shape.centre.x - 79.5, shape.centre.y - 59.5) < 1.5;
        std::cout << shape.polygon.size() << " vertices, " << (centred ? "centred" : "off centre")
                  << "\n";
    }

    shapemark::draw(page, shapes);
    cv::Mat green;
    cv::inRange(page, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
    std::cout << (cv::countNonZero(green) > 0 ? "outlined in green" : "not outlined") << "\n";

    // A Detector keeps its parameters: triangles only.
    shapemark::DetectorParams triangles;
    triangles.minArea = 100;
    triangles.maxVertices = 3;
    std::cout << shapemark::Detector(triangles).detect(before).size() << " triangle(s)\n";

    // Errors cross the library's boundary as the standard exception they are documented as.
    try {
        shapemark::detect(cv::Mat(), 100);
        std::cout << "an empty image was accepted\n";
    } catch (const std::invalid_argument&) {
        std::cout << "an empty image is refused\n";
    }
    try {
        triangles.maxVertices = 9;
        shapemark::Detector refused(triangles);
        std::cout << "max_vertices 9 was accepted\n";
    } catch (const std::invalid_argument&) {
        std::cout << "max_vertices 9 is refused\n";
    }

    // A video walked as the tool walks it. The writer comes through shapemark::shapemark alone:
    // a package that left out OpenCV's video input would fail to link here.
    const std::string video = "/tmp/shapemark-downstream-" + std::to_string(getpid()) + ".avi";
    {
        cv::VideoWriter writer(video, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               before.size());
        for (int i = 0; i < 9; ++i) {
            writer.write(before);
        }
    }
    shapemark::Frames frames(video, 100, -4);
    std::cout << "frames of " << frames.frameCount().value_or(0) << ":";
    while (const std::optional<shapemark::Frame> frame = frames.next()) {
        std::cout << " " << frame->number << " (" << frame->shapes.size() << " shape)";
    }
    std::cout << "\n";
    std::remove(video.c_str());
    return 0;
}
