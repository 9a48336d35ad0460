#include <climits>
#include <regex>

#include "cli/command_line.hpp"

namespace shapemark::cli {

int parseDecimal(const char* word) {
    const char* p = word;
    // The white space of the C locale, as atoi skips it.
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    // Accumulate towards the bound of the sign, so the magnitude of INT_MIN fits.
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude < limit) {
            magnitude = magnitude * 10 + (*p - '0');
            if (magnitude > limit) {
                magnitude = limit;
            }
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool isWholeDecimal(const std::string& word) {
    static const std::regex whole("[+-]?[0-9]+");
    return std::regex_match(word, whole);
}

}  // namespace shapemark::cli
