// What the environment decides: whether windows can open, and how loud the library is.
#pragma once

#include "output/windows.hpp"

namespace shapemark {

// Windows need a display; without one the library would abort the process.
Windows windowsFromEnvironment();

// Silences the library's own log unless the user chose a level with OPENCV_LOG_LEVEL;
// true when it did.
bool quietLibraryLog();

}  // namespace shapemark
