#include "detector/ellipse_fit.hpp"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <utility>

namespace shapemark::robust {
namespace {

// Normal equations square a system's condition: a pivot below this share of the largest
// diagonal entry means the solution would keep fewer digits than the library's and is left
// to it (the library itself treats a condition beyond 1/FLT_EPSILON as degenerate).
constexpr double kMinPivotShare = 1e-9;
// The library's bound below which an axis's coefficient counts as zero.
constexpr double kMinCoefficient = 1e-8;

// Solves the symmetric positive definite system m x = rhs in place by Cholesky's method;
// false when a pivot is too small to trust. `m` holds the lower triangle by rows.
template <std::size_t N>
bool solveNormal(std::array<std::array<double, N>, N>& m, std::array<double, N>& rhs) {
    double largest = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        largest = std::max(largest, m[i][i]);
    }
    for (std::size_t j = 0; j < N; ++j) {
        double pivot = m[j][j];
        for (std::size_t k = 0; k < j; ++k) {
            pivot -= m[j][k] * m[j][k];
        }
        if (!(pivot > largest * kMinPivotShare)) {
            return false;
        }
        m[j][j] = std::sqrt(pivot);
        for (std::size_t i = j + 1; i < N; ++i) {
            double sum = m[i][j];
            for (std::size_t k = 0; k < j; ++k) {
                sum -= m[i][k] * m[j][k];
            }
            m[i][j] = sum / m[j][j];
        }
    }
    for (std::size_t i = 0; i < N; ++i) {  // L y = rhs
        for (std::size_t k = 0; k < i; ++k) {
            rhs[i] -= m[i][k] * rhs[k];
        }
        rhs[i] /= m[i][i];
    }
    for (std::size_t i = N; i-- > 0;) {  // L^T x = y
        for (std::size_t k = i + 1; k < N; ++k) {
            rhs[i] -= m[k][i] * rhs[k];
        }
        rhs[i] /= m[i][i];
    }
    return true;
}

// Adds a row of the least-squares system (row · x = target) to its normal equations.
template <std::size_t N>
void addRow(const std::array<double, N>& row, double target,
            std::array<std::array<double, N>, N>& normal, std::array<double, N>& rhs) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t k = 0; k <= i; ++k) {
            normal[i][k] += row[i] * row[k];
        }
        rhs[i] += row[i] * target;
    }
}

}  // namespace

cv::RotatedRect fitContourEllipse(const std::vector<cv::Point>& contour) {
    const std::size_t n = contour.size();
    if (n <= 5) {
        return cv::fitEllipse(contour);  // the library's direct method for five points
    }
    // The library's coordinates: centred on the mean in single precision, scaled so that the
    // mean absolute offset is 100 / n.
    cv::Point2f c(0.0F, 0.0F);
    for (const cv::Point& p : contour) {
        c += cv::Point2f(p);
    }
    c.x /= static_cast<float>(n);
    c.y /= static_cast<float>(n);
    double s = 0.0;
    for (const cv::Point& p : contour) {
        const cv::Point2f q = cv::Point2f(p) - c;
        s += std::fabs(q.x) + std::fabs(q.y);
    }
    const double scale = 100.0 / (s > FLT_EPSILON ? s : FLT_EPSILON);
    const auto scaled = [&](const cv::Point& p) {
        const cv::Point2f q = cv::Point2f(p) - c;
        return std::pair<double, double>(q.x * scale, q.y * scale);
    };

    // The general conic -A x² - B y² - C xy + D x + E y = 10000 (the library's signs).
    std::array<std::array<double, 5>, 5> normal5{};
    std::array<double, 5> g{};
    for (const cv::Point& p : contour) {
        const auto [x, y] = scaled(p);
        addRow<5>({-x * x, -y * y, -x * y, x, y}, 10000.0, normal5, g);
    }
    if (!solveNormal(normal5, g)) {
        return cv::fitEllipse(contour);
    }
    // Its centre, where both partial derivatives vanish.
    const double det = 4.0 * g[0] * g[1] - g[2] * g[2];
    if (!(std::fabs(det) > kMinPivotShare * (4.0 * std::fabs(g[0] * g[1]) + g[2] * g[2]))) {
        return cv::fitEllipse(contour);
    }
    const double cx = (g[3] * 2.0 * g[1] - g[2] * g[4]) / det;
    const double cy = (2.0 * g[0] * g[4] - g[2] * g[3]) / det;
    // A, B, C again about that centre: A x² + B y² + C xy = 1.
    std::array<std::array<double, 3>, 3> normal3{};
    std::array<double, 3> q{};
    for (const cv::Point& p : contour) {
        const auto [x, y] = scaled(p);
        addRow<3>({(x - cx) * (x - cx), (y - cy) * (y - cy), (x - cx) * (y - cy)}, 1.0, normal3, q);
    }
    if (!solveNormal(normal3, q)) {
        return cv::fitEllipse(contour);
    }

    // Angle and axes, as the library derives them.
    const double angle = -0.5 * std::atan2(q[2], q[1] - q[0]);
    const double t =
        std::fabs(q[2]) > kMinCoefficient ? q[2] / std::sin(-2.0 * angle) : q[1] - q[0];
    double first = std::fabs(q[0] + q[1] - t);
    double second = std::fabs(q[0] + q[1] + t);
    if (!(first > kMinCoefficient && second > kMinCoefficient)) {
        return cv::fitEllipse(contour);  // a degenerate conic: its centre is the solver's choice
    }
    first = std::sqrt(2.0 / first);
    second = std::sqrt(2.0 / second);
    cv::RotatedRect box;
    box.center.x = static_cast<float>(cx / scale) + c.x;
    box.center.y = static_cast<float>(cy / scale) + c.y;
    box.size.width = static_cast<float>(first * 2 / scale);
    box.size.height = static_cast<float>(second * 2 / scale);
    if (box.size.width > box.size.height) {
        std::swap(box.size.width, box.size.height);
        box.angle = static_cast<float>(90 + angle * 180 / CV_PI);
    }
    if (box.angle < -180) {
        box.angle += 360;
    }
    if (box.angle > 360) {
        box.angle -= 360;
    }
    return box;
}

}  // namespace shapemark::robust
