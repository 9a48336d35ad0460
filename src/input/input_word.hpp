// What an INPUT word names, and how the library is asked to open it.
#pragma once

#include <string>

namespace shapemark {

struct InputWord {
    enum class Kind {
        File,           // a path the library reads as a file
        StandardInput,  // "-", "pipe:0", "pipe:" or "/dev/stdin"
        Camera,         // "/dev/videoN", through the V4L2 backend
        Stream,         // a URL or another protocol the library opens ("http://", "rtsp://", ...)
    };
    Kind kind = Kind::File;
    std::string word;       // as typed
    std::string openName;   // what the library is given
    int apiPreference = 0;  // cv::CAP_ANY, or the one backend that opens this kind
    // The path the same-file checks stat: standard input's own file for every spelling of it,
    // the word itself otherwise.
    std::string identityPath;
};

// "-" is standard input even when a file named "-" exists; "./-" names that file.
InputWord resolveInput(const std::string& word);

}  // namespace shapemark
