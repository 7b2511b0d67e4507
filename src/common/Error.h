#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace pyrolith {

// The one exception type of the core. Its message is the text the user sees, unchanged:
// the window shows it in a message box, the command-line program prints it. An error about
// one setting also carries that setting's key (the profile key, "DistPerPixel"), so the
// window can show the field to fix; other errors carry an empty key.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, std::string fieldKey = {})
        : std::runtime_error(message), fieldKey_(std::move(fieldKey))
    {
    }
    explicit Error(const char* message) : std::runtime_error(message) {}

    const std::string& fieldKey() const noexcept { return fieldKey_; }

private:
    std::string fieldKey_;
};

}  // namespace pyrolith
