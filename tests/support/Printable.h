#pragma once

#include <string>
#include <string_view>

namespace pyrolith::test {

// A text as a test name shows it: printable ASCII as it is, every other byte as \xNN.
inline std::string Printable(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            shown += c;
        } else {
            shown += "\\x";
            shown += "0123456789ABCDEF"[byte >> 4];
            shown += "0123456789ABCDEF"[byte & 0xF];
        }
    }
    return shown;
}

// A text as part of a test name, which takes letters, digits and '_' only: letters and
// digits as they are, every run of other characters one '_'.
inline std::string CaseName(std::string_view text)
{
    std::string name;
    for (const char c : text) {
        const bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (kept) {
            name += c;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name.empty() ? std::string("_") : name;
}

} // namespace pyrolith::test
