#pragma once

#include <string>
#include <string_view>

namespace pyrolith::test {

// A text as a test name or message shows it: printable ASCII as it is, tab, CR and LF as
// \t, \r and \n, every other byte as \xNN, so that no name holds raw bytes.
inline std::string Printable(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            constexpr const char* kHex = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown;
}

} // namespace pyrolith::test
