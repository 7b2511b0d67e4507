#pragma once

#include <string>
#include <string_view>

namespace pyrolith {

// Texts live in memory as UTF-8. Job files, settings files and profiles are 8-bit
// Windows-1252 on disk, as on the western Windows systems the file formats come from.

// A character that Windows-1252 cannot hold (and a malformed UTF-8 sequence) becomes '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// Every byte maps to one character; the five bytes Windows-1252 leaves undefined map to the
// C1 control of the same number, as the Windows conversion does.
std::string Cp1252ToUtf8(std::string_view bytes);

// Appends one code point (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace pyrolith
