#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pyrolith {

// An INI text as the settings file and the profiles use it: "[Section]" lines and
// "Key=Value" lines. The document keeps the file's bytes as they are; reading scans them,
// writing collects the new values and builds the whole new text in one pass, so every line
// the program does not write comes out byte for byte as it went in.
//
// Reading rules:
// - Lines end with LF or CR LF (both may be mixed in one file); a CR elsewhere is part of
//   the line and counts as a blank.
// - A line whose first non-blank character is '[' and that holds a ']' heads a section; the
//   name is the text between them, blanks removed. A line whose first non-blank character
//   is ';' is a comment. Any other line holding '=' is a key line: the key is the text
//   before the first '=' and the value the text after it, blanks removed from both ends.
//   Lines before the first section, and lines that are none of these, belong to no key.
// - Section and key names match without regard to the letter case of A-Z.
// - Only the first section of a name counts, and in it the first line of a key: later
//   duplicates are kept in the file but never read or changed.
// - A value enclosed in one pair of the same quotes (" or ') loses them. The value is then
//   cut to its first 2047 characters.
// - Blanks are the space, the tab and the other ASCII white-space controls (CR, VT, FF).
//
// Encoding: the files are Windows-1252, so one byte is one character. A file that starts
// with the UTF-8 byte order mark (EF BB BF) was saved as UTF-8 by some editor; it is read as
// UTF-8 (the mark itself is no part of the first line) and written back as UTF-8 with the
// mark, so its other lines keep their bytes and its characters keep their meaning. A file
// that starts with a UTF-16 mark (FF FE or FE FF, as Notepad's "Unicode" saves) and is
// well-formed UTF-16 is read and written back as UTF-16 with its mark; one that is not
// well-formed UTF-16 is taken as Windows-1252 bytes like any other. Values
// are handed out and taken in as UTF-8. When a value to be written has a character that
// Windows-1252 cannot hold (a folder name in Cyrillic letters, say), the whole file is
// written as UTF-8 with the mark instead of losing that character; the other lines keep
// their characters.
//
// Line ends written: CR LF on every line the program writes. The files come from Windows
// programs and editors, which expect CR LF; lines kept from the old file keep their own.
class IniDocument {
public:
    enum class Encoding { Windows1252, Utf8, Utf16Le, Utf16Be };

    static constexpr std::size_t kMaxValueLength = 2047; // characters returned per value

    // An empty Windows-1252 document.
    IniDocument() = default;
    // The bytes of a file, byte order mark included.
    static IniDocument Parse(std::string bytes);

    // The value of the key in the first section of that name, or nothing when the key or
    // the section is missing. Values set and not yet serialized count.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // The same for many keys of one section in one pass over the text: result[i] is the
    // value of keys[i].
    std::vector<std::optional<std::string>> Values(std::string_view section,
                                                   std::span<const std::string_view> keys) const;

    // Sets a key to a UTF-8 text, written exactly as given except that CR and LF, which a
    // line cannot hold, are left out. The key replaces its first line in the section, or is
    // added after the section's last non-blank line; a missing section is added at the end.
    // Keys must be non-empty, without '=', CR, LF or blanks at either end, and not begin
    // with '[' or ';' (std::invalid_argument otherwise): the program writes its own names.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The whole text with every value set: in the encoding it was read in, or in UTF-8 with
    // the mark when Windows-1252 cannot hold it (see above).
    std::string Serialize() const;
    // The encoding the text was read in.
    Encoding encoding() const;

private:
    struct Edit {
        std::string section;
        std::string key;
        std::string value; // UTF-8, CR and LF removed
    };

    bool needsUtf8() const;
    std::string serializeText(bool utf8) const;

    std::string bytes_; // the file's bytes without the byte order mark
    Encoding encoding_ = Encoding::Windows1252;
    std::vector<Edit> edits_;
};

// Reading a file for the document. Settings files and profiles are a few kilobytes (59
// values that read back cut to 2047 characters make at most about 110 KiB); a file larger
// than kMaxIniFileSize is none that the program wrote and is refused rather than loaded
// into memory. Only regular files are read (a device or a pipe named as a profile is
// refused without waiting on it).
inline constexpr std::uint64_t kMaxIniFileSize = std::uint64_t{16} << 20;

enum class IniFileState {
    Read,    // the document holds the file
    Missing, // no file at that path: an empty document
    Refused, // unreadable, not a regular file or too large: an empty document
};

struct IniFile {
    IniFileState state = IniFileState::Missing;
    IniDocument document;
};

IniFile ReadIniFile(const std::filesystem::path& path);

} // namespace pyrolith
