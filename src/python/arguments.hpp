// Arguments from Python, checked by name: a wrong type is one short TypeError that names the
// argument and what it takes, never pybind11's listing of every overload with the values given.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace shapemark::python {

// A Python int (or anything with __index__) that fits a C int. Anything else raises TypeError;
// an int out of range raises OverflowError.
int intArgument(const pybind11::handle& value, const char* function, const char* name);

// A path as the operating system takes it: str, bytes or os.PathLike, a str encoded as
// os.fsencode does. A NUL raises ValueError, as open() does.
std::string pathArgument(const pybind11::handle& value, const char* function);

}  // namespace shapemark::python
