#include "common/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/Error.h"
#include "common/FileBytes.h"
#include "common/PathText.h"
#include "support/TestFolder.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        temp_.emplace("atomic");
        folder_ = temp_->path();
    }
    void TearDown() override { temp_.reset(); }
    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void Write(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::size_t EntriesInFolder() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }
    std::optional<pyrolith::test::TestFolder> temp_;
    fs::path folder_;
};

TEST_F(AtomicFileTest, TargetAppearsOnlyOnCommit)
{
    const fs::path target = folder_ / "job.gcode";
    {
        AtomicFile file(target);
        file.write("M107\r\n");
        file.write('G');
        file.write(std::string(200000, 'x'));  // larger than the buffer
        EXPECT_FALSE(fs::exists(target));
        file.commit();
    }
    EXPECT_EQ(Read(target), "M107\r\nG" + std::string(200000, 'x'));
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(AtomicFileTest, AbandonedWriteKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    const fs::path target = folder_ / "job.gcode";
    Write(target, "old");
    {
        AtomicFile file(target);
        file.write("new but unfinished");
    }
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

// The move over the target fails (a folder took its place): the folder stays as it was and
// the temporary file goes.
TEST_F(AtomicFileTest, FailedReplaceLeavesTheTargetAndNoTemporaryFile)
{
    const fs::path target = folder_ / "job.gcode";
    AtomicFile file(target);
    file.write("new");
    fs::create_directory(target);
    Write(target / "inside", "old");
    EXPECT_THROW(file.commit(), Error);
    EXPECT_EQ(Read(target / "inside"), "old");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

// Written and read back through the seams by a path of non-ASCII names.
TEST_F(AtomicFileTest, NonAsciiPathIsWrittenAndReadWhole)
{
    const std::string name = "Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93.gcode";
    const fs::path target = folder_ / PathFromUtf8("Gravur \xC3\xBC") / PathFromUtf8(name);
    fs::create_directory(target.parent_path());
    AtomicFile file(target);
    file.write("G1 X1\r\n");
    file.commit();
    const FileBytes bytes(target);
    EXPECT_EQ(std::string(bytes.bytes().begin(), bytes.bytes().end()), "G1 X1\r\n");
    EXPECT_EQ(Utf8FromPath(fs::directory_iterator(target.parent_path())->path().filename()), name);
}

TEST_F(AtomicFileTest, RefusesReadOnlyTargetsAndFoldersEvenForRoot)
{
    const fs::path target = folder_ / "settings.ini";
    Write(target, "keep");
    fs::permissions(target, fs::perms::owner_read);
    try {
        AtomicFile file(target);
        FAIL() << "a read-only target was accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "File access denied");
    }
    EXPECT_EQ(Read(target), "keep");

    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
#ifndef _WIN32  // Windows keeps no write permission on folders
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        AtomicFile file(folder_ / "new.ini");
        FAIL() << "a folder without write permission was accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "File access denied");
    }
    EXPECT_EQ(EntriesInFolder(), 1u);
#endif
}

#ifndef _WIN32
TEST_F(AtomicFileTest, KeepsThePermissionsOfTheFileItReplaces)
{
    const fs::path target = folder_ / "shared.prf";
    Write(target, "old");
    ::chmod(target.c_str(), 0640);
    AtomicFile file(target);
    file.write("new");
    file.commit();
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}
#endif

TEST_F(AtomicFileTest, MissingFolderIsReported)
{
    try {
        AtomicFile file(folder_ / "no-such-folder" / "job.gcode");
        FAIL() << "no error for a missing folder";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Path not found");
    }
}

}  // namespace
}  // namespace pyrolith
