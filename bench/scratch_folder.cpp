#include "scratch_folder.hpp"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace shapemark::bench {

ScratchFolder::ScratchFolder() {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / "shapemark-bench-XXXXXX";
    std::string pattern = base.string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch folder under " +
                                 base.parent_path().string());
    }
    path_ = name.data();
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace shapemark::bench
