#include "arguments.hpp"

#include <climits>
#include <string>

namespace py = pybind11;

namespace shapemark::python {

namespace {
std::string typeName(const py::handle& value) {
    return py::str(value.get_type().attr("__name__"));
}
}  // namespace

int intArgument(const py::handle& value, const char* function, const char* name) {
    const std::string what = std::string(function) + ": " + name;
    if (PyIndex_Check(value.ptr()) == 0) {
        throw py::type_error(what + " must be an int; got " + typeName(value));
    }
    const auto number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long whole = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || whole < INT_MIN || whole > INT_MAX) {
        PyErr_SetString(PyExc_OverflowError,
                        (what + " must lie between " + std::to_string(INT_MIN) + " and " +
                         std::to_string(INT_MAX))
                            .c_str());
        throw py::error_already_set();
    }
    return static_cast<int>(whole);
}

std::string pathArgument(const py::handle& value, const char* function) {
    const py::module_ os = py::module_::import("os");
    py::object path;
    try {
        path = os.attr("fsencode")(value);
    } catch (const py::error_already_set& error) {
        if (!error.matches(PyExc_TypeError)) {
            throw;
        }
        throw py::type_error(std::string(function) +
                             ": path must be str, bytes or os.PathLike; got " + typeName(value));
    }
    auto bytes = path.cast<std::string>();
    if (bytes.find('\0') != std::string::npos) {
        throw py::value_error(std::string(function) + ": path contains a NUL byte");
    }
    return bytes;
}

}  // namespace shapemark::python
