#include "common/FileBytes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

// How each failure is told on both systems: callers tell a missing file from a refused one.
TEST(FileBytesTest, FailuresAreToldApart)
{
    const fs::path folder =
        fs::temp_directory_path() / ("pyrolith-bytes-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "nine.txt", std::ios::binary) << "123456789";
    struct Case {
        fs::path path;
        FileReadError::Kind kind;
        std::string message;
    };
    const Case cases[] = {
        {folder / "none.txt", FileReadError::Kind::Missing, "Path not found"},
        {folder / "no" / "none.txt", FileReadError::Kind::Missing, "Path not found"},
        {folder / "sub", FileReadError::Kind::Folder, "Is a folder, not a file"},
        {folder / "nine.txt", FileReadError::Kind::TooLarge, "File too large"},
    };
    for (const Case& c : cases) {
        try {
            const FileBytes bytes(c.path, 8);
            ADD_FAILURE() << "read " << c.path;
        } catch (const FileReadError& error) {
            EXPECT_EQ(error.kind(), c.kind) << c.path;
            EXPECT_EQ(std::string(error.what()), c.message) << c.path;
        }
    }
    const FileBytes nine(folder / "nine.txt", 9);
    EXPECT_EQ(std::string(nine.bytes().begin(), nine.bytes().end()), "123456789");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace pyrolith
