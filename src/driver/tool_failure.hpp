// A failure of the tool itself, as opposed to its input or its outputs: memory, a thread that
// cannot start, an error inside a library.
#pragma once

#include <exception>
#include <string>

namespace shapemark {

// What failed, in a few words for standard error.
std::string whatFailed(const std::exception_ptr& error);

}  // namespace shapemark
