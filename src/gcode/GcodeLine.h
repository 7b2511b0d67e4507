#pragma once

#include <string>
#include <string_view>

namespace pyrolith {

// How a line of a job is put together. Texts are joined with nothing in between.

// StartComment + text + EndComment.
std::string CommentPart(std::string_view startComment, std::string_view text,
                        std::string_view endComment);

// A command followed by a tab and a comment part: "G90 " TAB "; Absolute Positioning".
std::string CommandWithComment(std::string_view command, std::string_view commentPart);

}  // namespace pyrolith
