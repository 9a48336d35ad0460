// One map of a parameters file, read key by key. cv::FileStorage keeps the last of a repeated
// key and ignores a key nobody asks for; both are mistakes the user wants to hear about.
#pragma once

#include <opencv2/core/persistence.hpp>

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace shapemark::params {

// A parameters file that cannot be used; what() names the file and the key or line.
struct ParamsFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class YamlMap {
  public:
    // `where` names the map in messages ("FILE", or "FILE: tracker"). Throws ParamsFileError
    // for a node that is neither a map nor empty, or a key given twice.
    YamlMap(const cv::FileNode& node, std::string where);

    // The value of `key`, or an empty node when the map has none; the key is known from then.
    cv::FileNode take(std::string_view key);
    // The nested map under `key` (empty when absent), to be read and finished the same way.
    YamlMap map(std::string_view key);
    // Throws ParamsFileError naming the first key that was never taken.
    void finish() const;

    [[nodiscard]] const std::string& where() const { return where_; }
    [[noreturn]] void fail(std::string_view key, const std::string& what) const;

  private:
    cv::FileNode node_;
    std::string where_;
    std::set<std::string, std::less<>> taken_;
};

}  // namespace shapemark::params
