// Fuzzes the number parser of the command line and checks it against a saturating reference
// built another way: the digit prefix is measured as text, then read with strtoll.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/command_line.hpp"

namespace {

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

long long referenceValue(const std::string& word) {
    std::size_t i = 0;
    while (i < word.size() && isCSpace(word[i])) {
        ++i;
    }
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        negative = word[i] == '-';
        ++i;
    }
    std::size_t end = i;
    while (end < word.size() && word[end] >= '0' && word[end] <= '9') {
        ++end;
    }
    std::string digits = word.substr(i, end - i);
    const std::size_t firstNonZero = digits.find_first_not_of('0');
    digits = firstNonZero == std::string::npos ? "" : digits.substr(firstNonZero);
    if (digits.empty()) {
        return 0;
    }
    // Eleven digits or more is beyond any int; strtoll saturates by itself only past 19.
    if (digits.size() > 10) {
        return negative ? INT_MIN : INT_MAX;
    }
    errno = 0;
    const long long magnitude = std::strtoll(digits.c_str(), nullptr, 10);
    if (errno != 0) {
        std::abort();
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return value < INT_MIN ? INT_MIN : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The parser sees a C string, as argv gives it: an inner NUL ends the word.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string word = bytes.substr(0, bytes.find('\0'));
    const int value = shapemark::cli::parseDecimal(word.c_str());
    if (static_cast<long long>(value) != referenceValue(word)) {
        std::abort();
    }
    return 0;
}
