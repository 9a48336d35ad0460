// One-to-one assignment of rows (tracks) to columns (shapes) at the least total cost.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <vector>

namespace shapemark::track {

// A pair that may not be matched.
constexpr double kForbidden = 1e9;

// The matching that pairs the most rows with columns and, among those, has the least total
// cost (the Hungarian method, O(n^2 m)); forbidden pairs are never made. `cost` is rows x cols,
// CV_64F. Returns, for each row, its column, or -1.
std::vector<int> assignOptimal(const cv::Mat& cost);

// The matching of least total cost where a row or a column left unpaired costs `unpaired`: a
// pair is made only while it costs less than leaving its row and its column unpaired, so no
// dear pair is made just to pair one more row.
std::vector<int> assignOptimal(const cv::Mat& cost, double unpaired);

// Which of `columns` columns a row of the matching is paired with.
std::vector<bool> pairedColumns(const std::vector<int>& columnOfRow, std::size_t columns);

// The greedy rule, kept for comparison: the cheapest allowed pair first, then the next cheapest
// among rows and columns still free.
std::vector<int> assignGreedy(const cv::Mat& cost);

}  // namespace shapemark::track
