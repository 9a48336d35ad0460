#include "detector/wide_rows.hpp"

#include <opencv2/core/utility.hpp>

namespace shapemark::robust {

bool wideRows() {
    return cv::checkHardwareSupport(CV_CPU_AVX2);
}

}  // namespace shapemark::robust
