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

} // namespace pyrolith::test
