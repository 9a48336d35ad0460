#include "params/yaml_map.hpp"

#include <utility>

namespace shapemark::params {

YamlMap::YamlMap(const cv::FileNode& node, std::string where)
    : node_(node), where_(std::move(where)) {
    if (node_.empty() || node_.isNone()) {
        return;
    }
    if (!node_.isMap()) {
        throw ParamsFileError(where_ + ": expected a map of 'key: value' lines");
    }
    std::set<std::string, std::less<>> seen;
    for (const cv::FileNode& child : node_) {
        if (!seen.insert(child.name()).second) {
            fail(child.name(), "is given twice; keep one");
        }
    }
}

cv::FileNode YamlMap::take(std::string_view key) {
    taken_.emplace(key);
    return node_.isMap() ? node_[std::string(key)] : cv::FileNode();
}

YamlMap YamlMap::map(std::string_view key) {
    return {take(key), where_ + ": " + std::string(key)};
}

void YamlMap::finish() const {
    if (!node_.isMap()) {
        return;
    }
    for (const cv::FileNode& child : node_) {
        if (taken_.count(child.name()) == 0) {
            std::string known;
            for (const std::string& key : taken_) {
                known += (known.empty() ? "" : ", ") + key;
            }
            fail(child.name(), "is not a known key (known: " + known + ")");
        }
    }
}

void YamlMap::fail(std::string_view key, const std::string& what) const {
    throw ParamsFileError(where_ + ": key '" + std::string(key) + "' " + what);
}

}  // namespace shapemark::params
