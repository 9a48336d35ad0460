#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "driver/output_paths.hpp"
#include "input/input_word.hpp"

namespace shapemark {

namespace {
// As many links in a row as the kernel follows before it gives up (ELOOP).
constexpr int kMostLinks = 40;

// Where a name leads: its links followed one by one, dangling ones included, since opening a
// dangling link for writing creates the file at its target.
std::filesystem::path followLinks(std::filesystem::path path) {
    for (int hops = 0; hops < kMostLinks; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(path, error)) {
            break;
        }
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// A file's identity: its device and inode where it exists; otherwise its folder's device and
// inode and the name it will get there.
struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // empty for a file that exists

    bool operator==(const FileKey& other) const {
        return std::tie(device, inode, name) == std::tie(other.device, other.inode, other.name);
    }
};

bool keyOf(const char* path, FileKey& key) {
    struct stat file {};
    if (::stat(path, &file) == 0) {
        key = {file.st_dev, file.st_ino, {}};
        return true;
    }
    const std::filesystem::path target = followLinks(path);
    const std::filesystem::path folder = target.parent_path();
    if (::stat(folder.empty() ? "." : folder.c_str(), &file) != 0) {
        return false;  // nothing can be made there
    }
    key = {file.st_dev, file.st_ino, target.filename().string()};
    return !key.name.empty();
}
}  // namespace

bool namesSameFile(const char* inputPath, const char* outputPath) {
    FileKey first;
    FileKey second;
    return keyOf(inputPath, first) && keyOf(outputPath, second) && first == second;
}

namespace {
struct NamedPath {
    const char* what;
    std::string path;
};
}  // namespace

std::string clashingPaths(const cli::Settings& settings) {
    std::vector<NamedPath> outputs = {{"output", settings.outputPath}};
    if (settings.snapshotPath) {
        outputs.push_back({"snapshot", *settings.snapshotPath});
    }
    if (settings.detectionsPath) {
        outputs.push_back({"detection log", *settings.detectionsPath});
    }
    // Standard input, however spelled, is compared as the file it is.
    const std::string input = resolveInput(settings.inputPath).identityPath;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const NamedPath& file = outputs[i];
        if (namesSameFile(input.c_str(), file.path.c_str())) {
            return std::string("shapemark: ") + file.what + " '" + file.path +
                   "' is the input file itself; choose another\n";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (namesSameFile(outputs[j].path.c_str(), file.path.c_str())) {
                return std::string("shapemark: ") + file.what + " '" + file.path + "' is the " +
                       outputs[j].what + " too; choose another\n";
            }
        }
    }
    return {};
}

}  // namespace shapemark
