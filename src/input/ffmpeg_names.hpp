// What the video library opens for the INPUT and OUTPUT words. The library reads a word as a URL:
// "file:x.avi" is x.avi, "pipe:1" is descriptor 1, "concat:a.avi|b.avi" reads both files. Checks
// that outputs stay apart from the input compare what it will open, not the words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace shapemark {

enum class NameRole { Input, Output };

// One local file the library opens: a path, or an inherited descriptor.
struct LocalFile {
    std::string path;     // empty for a descriptor
    int descriptor = -1;  // -1 for a path
};

struct LibraryName {
    std::vector<LocalFile> files;  // the local files opened; none for a remote source
    std::string refusedProtocol;   // an OUTPUT protocol that writes elsewhere than to files
};

// Resolves `word` as the library does for reading (Input) or writing (Output):
// - no protocol, or "file:": the path after the prefix ("file://x" leaves "//x", which is /x);
// - "pipe:N": descriptor N; "pipe:" alone is 0 for reading, 1 for writing;
// - reading through "concat:", "concatf:", "async:", "cache:", "subfile:" or "crypto:": the
//   sources after the prefix ("concat:" splits at '|', "concatf:" lists one a line);
// - writing through "tee:" (split at '|') or "md5:" (standard output when empty): the files after
//   the prefix;
// - any other protocol: a remote source when reading, refused when writing.
LibraryName resolveLibraryName(std::string_view word, NameRole role);

}  // namespace shapemark
