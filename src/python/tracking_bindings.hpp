// Identities in the Python module: Tracker, TrackedShape, Shape.id and frames(track=True).
#pragma once

#include <pybind11/pybind11.h>

#include <shapemark/tracker.hpp>

#include <vector>

namespace shapemark::python {

// Python's TrackedShape: a Shape with the id its track had in that frame.
struct IdentifiedShape : Shape {
    int id = 0;  // 0 while the track is tentative: None in Python
};

// The tracker's answer as a list of TrackedShape, in the order the shapes were given.
pybind11::list identified(const std::vector<TrackedShape>& tracked);

// Adds Shape.id, TrackedShape and Tracker to the module; Shape must be bound already.
void bindTracking(pybind11::module_& m);

}  // namespace shapemark::python
