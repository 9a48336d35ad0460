// Which of two shapes a region the detector took for one is mostly.
#pragma once

#include "track/polygon_overlap.hpp"

namespace shapemark::track {

// Whether `other` covers more of `region` than `holder` does (convex outlines: each shape's last
// outline, moved to where its track is expected). Learnt whole areas alone do not tell which of
// two shapes of about one size a region mostly is (shapes of 790 and 990 px² were learnt as 865
// and 854, and the region went to the wrong one); where each shape lies in it does. A track that
// took the region in the frame before covers all of it and keeps it.
bool coversMore(const FloatPolygon& region, const FloatPolygon& other, const FloatPolygon& holder);

}  // namespace shapemark::track
