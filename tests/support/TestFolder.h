#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <gtest/gtest.h>

namespace pyrolith::test {

// A new folder of the running test's own under the system's temporary folder, removed with
// everything in it (read-only entries too) when the object goes. Its name holds the process
// and the whole test name, a parameterised test's "/" made "_", so that no other test, nor the
// same test in another process, shares it and nothing is left behind.
class TestFolder {
public:
    explicit TestFolder(std::string_view prefix)
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("pyrolith-") + std::string(prefix) + "-" +
                           std::to_string(::getpid()) + "-" +
                           (info ? std::string(info->test_suite_name()) + "." + info->name()
                                 : std::string("suite"));
        for (char& c : name) {
            if (c == '/' || c == '\\') {
                c = '_';
            }
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace pyrolith::test
