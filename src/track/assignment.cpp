#include "track/assignment.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <tuple>

namespace shapemark::track {

namespace {
// A forbidden pair costs more than any whole matching of allowed pairs, so the optimum makes as
// many allowed pairs as it can before it makes any forbidden one, which is then dropped.
std::vector<int> hungarian(const cv::Mat& cost) {
    // Rows n <= columns m; potentials u, v and the column each row ends in, 1-based with 0 as
    // the virtual start.
    const int n = cost.rows;
    const int m = cost.cols;
    const double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> u(n + 1, 0.0);
    std::vector<double> v(m + 1, 0.0);
    std::vector<int> rowOfColumn(m + 1, 0);
    std::vector<int> way(m + 1, 0);
    for (int i = 1; i <= n; ++i) {
        rowOfColumn[0] = i;
        int column = 0;
        std::vector<double> least(m + 1, infinity);
        std::vector<bool> used(m + 1, false);
        do {
            used[column] = true;
            const int row = rowOfColumn[column];
            double delta = infinity;
            int next = 0;
            for (int j = 1; j <= m; ++j) {
                if (used[j]) {
                    continue;
                }
                const double reduced = cost.at<double>(row - 1, j - 1) - u[row] - v[j];
                if (reduced < least[j]) {
                    least[j] = reduced;
                    way[j] = column;
                }
                if (least[j] < delta) {
                    delta = least[j];
                    next = j;
                }
            }
            for (int j = 0; j <= m; ++j) {
                if (used[j]) {
                    u[rowOfColumn[j]] += delta;
                    v[j] -= delta;
                } else {
                    least[j] -= delta;
                }
            }
            column = next;
        } while (rowOfColumn[column] != 0);
        do {
            const int previous = way[column];
            rowOfColumn[column] = rowOfColumn[previous];
            column = previous;
        } while (column != 0);
    }
    std::vector<int> columnOfRow(n, -1);
    for (int j = 1; j <= m; ++j) {
        if (rowOfColumn[j] != 0) {
            columnOfRow[rowOfColumn[j] - 1] = j - 1;
        }
    }
    return columnOfRow;
}
}  // namespace

std::vector<int> assignOptimal(const cv::Mat& cost) {
    if (cost.rows == 0 || cost.cols == 0) {
        std::vector<int> unpaired(cost.rows, -1);
        return unpaired;
    }
    // The method wants no more rows than columns: a tall matrix is solved transposed.
    const bool transposed = cost.rows > cost.cols;
    const cv::Mat square = transposed ? cv::Mat(cost.t()) : cost;
    const std::vector<int> solved = hungarian(square);
    std::vector<int> columnOfRow(cost.rows, -1);
    for (int i = 0; i < static_cast<int>(solved.size()); ++i) {
        const int j = solved[i];
        if (j < 0) {
            continue;
        }
        const int row = transposed ? j : i;
        const int column = transposed ? i : j;
        if (cost.at<double>(row, column) < kForbidden) {
            columnOfRow[row] = column;
        }
    }
    return columnOfRow;
}

std::vector<int> assignOptimal(const cv::Mat& cost, double unpaired) {
    // Each row gets a column of its own meaning "unpaired", and each column a row of its own;
    // those stand-ins pair with each other at no cost.
    const int rows = cost.rows;
    const int cols = cost.cols;
    if (rows == 0 || cols == 0) {
        return assignOptimal(cost);
    }
    cv::Mat padded(rows + cols, cols + rows, CV_64F, cv::Scalar(kForbidden));
    cost.copyTo(padded(cv::Rect(0, 0, cols, rows)));
    padded(cv::Rect(cols, rows, rows, cols)).setTo(0.0);
    for (int i = 0; i < rows; ++i) {
        padded.at<double>(i, cols + i) = unpaired;
    }
    for (int j = 0; j < cols; ++j) {
        padded.at<double>(rows + j, j) = unpaired;
    }
    std::vector<int> columnOfRow = assignOptimal(padded);
    columnOfRow.resize(rows);
    std::replace_if(
        columnOfRow.begin(), columnOfRow.end(), [cols](int j) { return j >= cols; }, -1);
    return columnOfRow;
}

std::vector<int> assignGreedy(const cv::Mat& cost) {
    std::vector<std::tuple<double, int, int>> pairs;
    for (int i = 0; i < cost.rows; ++i) {
        for (int j = 0; j < cost.cols; ++j) {
            if (cost.at<double>(i, j) < kForbidden) {
                pairs.emplace_back(cost.at<double>(i, j), i, j);
            }
        }
    }
    std::sort(pairs.begin(), pairs.end());
    std::vector<int> columnOfRow(cost.rows, -1);
    std::vector<bool> taken(cost.cols, false);
    for (const auto& [value, row, column] : pairs) {
        if (columnOfRow[row] < 0 && !taken[column]) {
            columnOfRow[row] = column;
            taken[column] = true;
        }
    }
    return columnOfRow;
}

std::vector<bool> pairedColumns(const std::vector<int>& columnOfRow, std::size_t columns) {
    std::vector<bool> paired(columns, false);
    for (const int j : columnOfRow) {
        if (j >= 0) {
            paired[j] = true;
        }
    }
    return paired;
}

}  // namespace shapemark::track
