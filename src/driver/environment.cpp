#include <opencv2/core/utils/logger.hpp>

#include <cstdlib>

#include "driver/run_setup.hpp"

namespace shapemark {

namespace {
bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}
}  // namespace

Windows windowsFromEnvironment() {
    const bool reachable = isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
    return reachable ? Windows::On : Windows::Off;
}

void quietLibraryLog() {
    if (std::getenv("OPENCV_LOG_LEVEL") != nullptr) {
        return;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // The window toolkit logs too (for instance about XDG_RUNTIME_DIR); its own rules win.
    ::setenv("QT_LOGGING_RULES", "*.warning=false", 0);
}

}  // namespace shapemark
