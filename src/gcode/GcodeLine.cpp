#include "gcode/GcodeLine.h"

namespace pyrolith {

std::string CommentPart(std::string_view startComment, std::string_view text,
                        std::string_view endComment)
{
    std::string line;
    line.reserve(startComment.size() + text.size() + endComment.size());
    line += startComment;
    line += text;
    line += endComment;
    return line;
}

std::string CommandWithComment(std::string_view command, std::string_view commentPart)
{
    std::string line;
    line.reserve(command.size() + 1 + commentPart.size());
    line += command;
    line += '\t';
    line += commentPart;
    return line;
}

}  // namespace pyrolith
