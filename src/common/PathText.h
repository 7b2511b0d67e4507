#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pyrolith {

// Paths as UTF-8 text (a command-line argument, a settings value, a message) and back.
// POSIX paths are bytes and keep them exactly; Windows paths are UTF-16 and are converted,
// so that "Gravur ü/Größe ✓.bmp" reaches the system call whole on both.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);

// The program's arguments (without the program's own name) as UTF-8: argv itself on POSIX;
// on Windows the UTF-16 command line, since argv there holds only what the ANSI code page
// can spell.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the program's UTF-8 output as UTF-8 (Windows; POSIX terminals
// already do).
void UseUtf8Console();

}  // namespace pyrolith
