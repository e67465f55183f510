// Joins texts into one string. Used instead of chains of operator+ that
// start with a literal, on which GCC 12 at -O3 reports a false -Wrestrict.
#pragma once

#include <string>
#include <string_view>

template <typename... Parts>
std::string joinText(const Parts&... parts) {
    std::string out;
    (out.append(std::string_view(parts)), ...);
    return out;
}
