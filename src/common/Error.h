#pragma once

#include <stdexcept>
#include <string>

namespace pyrolith {

// The one exception type of the core. Its message is the text the user sees, unchanged:
// the window shows it in a message box, the command-line program prints it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace pyrolith
