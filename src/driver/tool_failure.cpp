#include "driver/tool_failure.hpp"

#include <opencv2/core.hpp>

#include <new>
#include <system_error>

namespace shapemark {

std::string whatFailed(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const cv::Exception& e) {
        // The library's what() spans lines and names its own source files.
        if (e.code == cv::Error::StsNoMem) {
            return "out of memory";
        }
        return "the video library failed: " + e.err;
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::resource_unavailable_try_again) {
            return "a thread cannot start (" + e.code().message() + ")";
        }
        return e.what();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown error";
    }
}

}  // namespace shapemark
