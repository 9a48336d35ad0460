#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "driver/output_paths.hpp"

#include "input/ffmpeg_names.hpp"
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

// A closed descriptor is no file: nothing can clash with it.
bool keyOf(const LocalFile& local, FileKey& key) {
    if (local.descriptor < 0) {
        return keyOf(local.path.c_str(), key);
    }
    struct stat file {};
    if (::fstat(local.descriptor, &file) != 0) {
        return false;
    }
    key = {file.st_dev, file.st_ino, {}};
    return true;
}

bool sameFile(const LocalFile& first, const LocalFile& second) {
    FileKey one;
    FileKey other;
    return keyOf(first, one) && keyOf(second, other) && one == other;
}

// Every file the library opens for one word, named as the user wrote it.
struct NamedFiles {
    std::string what;
    std::string word;
    std::vector<LocalFile> files;
};

bool anySameFile(const NamedFiles& first, const NamedFiles& second) {
    return std::any_of(first.files.begin(), first.files.end(), [&](const LocalFile& one) {
        return std::any_of(second.files.begin(), second.files.end(),
                           [&](const LocalFile& other) { return sameFile(one, other); });
    });
}

// Standard output when it goes to a file or a pipe, where the counter would mix with an output.
// A terminal or /dev/null takes both without harm.
std::optional<NamedFiles> standardOutputFile() {
    struct stat file {};
    if (::fstat(STDOUT_FILENO, &file) != 0 || S_ISCHR(file.st_mode)) {
        return std::nullopt;
    }
    return NamedFiles{"standard output", {}, {{{}, STDOUT_FILENO}}};
}

// The files the library may open for INPUT or OUTPUT: those its FFmpeg back end resolves the
// word to, and the word as it stands, which its other back ends open when FFmpeg cannot.
std::vector<LocalFile> libraryFiles(const LibraryName& name, const std::string& word) {
    std::vector<LocalFile> files = name.files;
    files.push_back({word, -1});
    return files;
}

std::string line(const NamedFiles& file, const std::string& rest) {
    return "shapemark: " + file.what + " '" + file.word + "' " + rest + "\n";
}
}  // namespace

bool namesSameFile(const char* inputPath, const char* outputPath) {
    return sameFile({inputPath, -1}, {outputPath, -1});
}

std::string clashingPaths(const cli::Settings& settings) {
    const LibraryName output = resolveLibraryName(settings.outputPath, NameRole::Output);
    const NamedFiles recording{"output", settings.outputPath,
                               libraryFiles(output, settings.outputPath)};
    if (!output.refusedProtocol.empty()) {
        return line(recording, "would be written through the video library's '" +
                                   output.refusedProtocol +
                                   ":' protocol, which writes no local file; for a file of that "
                                   "name, write ./" +
                                   settings.outputPath);
    }
    NamedFiles input{
        "input", settings.inputPath,
        libraryFiles(resolveLibraryName(settings.inputPath, NameRole::Input), settings.inputPath)};
    // Standard input, however spelled, is compared as the file it is.
    input.files.push_back({resolveInput(settings.inputPath).identityPath, -1});
    // The snapshot and the log are opened by the tool itself: their names are plain paths.
    std::vector<NamedFiles> outputs = {recording};
    if (settings.snapshotPath) {
        outputs.push_back({"snapshot", *settings.snapshotPath, {{*settings.snapshotPath, -1}}});
    }
    if (settings.detectionsPath) {
        outputs.push_back(
            {"detection log", *settings.detectionsPath, {{*settings.detectionsPath, -1}}});
    }
    const std::optional<NamedFiles> standardOutput = standardOutputFile();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const NamedFiles& file = outputs[i];
        if (anySameFile(input, file)) {
            return line(file, "is the input file itself; choose another");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (anySameFile(outputs[j], file)) {
                return line(file, "is the " + outputs[j].what + " too; choose another");
            }
        }
        if (standardOutput && anySameFile(*standardOutput, file)) {
            return line(file,
                        "is where standard output goes, which carries the counter; choose "
                        "another, or send standard output elsewhere");
        }
    }
    return {};
}

}  // namespace shapemark
