#pragma once

#include <functional>

namespace pyrolith {

// Asked now and then by long work on pictures; true stops the work, which then throws
// Cancelled. An empty check never stops it.
using CancelCheck = std::function<bool()>;

// Thrown by work that was cancelled: not a failure, so it carries no message for the user.
struct Cancelled {};

inline void ThrowIfCancelled(const CancelCheck& cancel)
{
    if (cancel && cancel()) {
        throw Cancelled{};
    }
}

} // namespace pyrolith
