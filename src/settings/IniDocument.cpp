#include "settings/IniDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "common/AsciiCase.h"
#include "common/TextEncoding.h"

namespace pyrolith {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}


// The byte at i starts a well-formed UTF-8 sequence of the returned length; 0 when not.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07u, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// UTF-8 from UTF-16 bytes; nothing unless they are well-formed UTF-16 (an even count, every
// surrogate in a pair), so that only a text that comes back unchanged is taken as UTF-16.
std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t cp = unit(i);
        if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 3 >= bytes.size()) {
                return std::nullopt;
            }
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) {
                return std::nullopt;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

// UTF-16 bytes from well-formed UTF-8.
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian)
{
    std::string out;
    out.reserve(utf8.size() * 2);
    const auto put = [&](char32_t u) {
        const auto high = static_cast<char>(u >> 8);
        const auto low = static_cast<char>(u & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    };
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t length = std::max<std::size_t>(Utf8SequenceLength(utf8, i), 1);
        char32_t cp = static_cast<unsigned char>(utf8[i]);
        if (length > 1) {
            cp &= 0x3Fu >> (length - 1);
            for (std::size_t k = 1; k < length; ++k) {
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
            }
        } else if (cp >= 0x80) {
            cp = 0xFFFD;
        }
        i += length;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

// Well-formed UTF-8 from text that should be UTF-8: a byte that starts no well-formed
// sequence is taken as the Windows-1252 character of that byte, as such stray bytes mostly
// come from a file edited with both encodings.
std::string RepairUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += Cp1252ToUtf8(text.substr(i, 1));
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

// The first count characters of well-formed UTF-8.
std::string_view CutUtf8(std::string_view text, std::size_t count)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}

std::string_view Unquote(std::string_view text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// A raw value of the file as a reader gets it: trimmed, unquoted, cut, UTF-8.
std::string ReadValue(std::string_view raw, IniDocument::Encoding encoding)
{
    const std::string_view text = Unquote(Trim(raw));
    if (encoding == IniDocument::Encoding::Windows1252) {
        return Cp1252ToUtf8(text.substr(0, IniDocument::kMaxValueLength));
    }
    // A character takes at most 4 bytes; cutting the bytes first keeps a megabyte line cheap.
    const std::string repaired = RepairUtf8(text.substr(0, 4 * IniDocument::kMaxValueLength));
    return std::string(CutUtf8(repaired, IniDocument::kMaxValueLength));
}

struct Line {
    std::string_view text; // without the line end
    std::string_view end;  // "\r\n", "\n" or empty (the last line of a file without one)
    std::string_view whole() const { return {text.data(), text.size() + end.size()}; }
};

class LineReader {
public:
    explicit LineReader(std::string_view bytes) : rest_(bytes) {}

    bool next(Line& line)
    {
        if (rest_.empty()) {
            return false;
        }
        const std::size_t lf = rest_.find('\n');
        if (lf == std::string_view::npos) {
            line = {rest_, {}};
            rest_ = {};
            return true;
        }
        const std::size_t endStart = (lf > 0 && rest_[lf - 1] == '\r') ? lf - 1 : lf;
        line = {rest_.substr(0, endStart), rest_.substr(endStart, lf + 1 - endStart)};
        rest_.remove_prefix(lf + 1);
        return true;
    }

private:
    std::string_view rest_;
};

enum class LineKind { Blank, Section, Key, Other };

struct LineParts {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section name or key, trimmed
    std::string_view value; // key lines: everything after the first '='
};

LineParts Classify(std::string_view text)
{
    const std::string_view content = Trim(text);
    if (content.empty()) {
        return {LineKind::Blank, {}, {}};
    }
    if (content.front() == '[') {
        const std::size_t close = content.find(']');
        if (close != std::string_view::npos) {
            return {LineKind::Section, Trim(content.substr(1, close - 1)), {}};
        }
        return {};
    }
    if (content.front() == ';') {
        return {};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    const std::string_view key = Trim(text.substr(0, equals));
    if (key.empty()) {
        return {};
    }
    return {LineKind::Key, key, text.substr(equals + 1)};
}

// Finds names among a small set without regard to case, sorted into buckets by length so
// that a line's key is compared with few candidates.
class NameSet {
public:
    void add(std::string_view name, std::size_t index)
    {
        if (name.size() >= buckets_.size()) {
            buckets_.resize(name.size() + 1);
        }
        buckets_[name.size()].push_back({name, index});
    }

    // Every index whose name equals the given one, in the order added.
    template <typename F> void forEach(std::string_view name, F&& f) const
    {
        if (name.size() >= buckets_.size()) {
            return;
        }
        for (const Entry& entry : buckets_[name.size()]) {
            if (EqualNoCase(entry.name, name)) {
                if (!f(entry.index)) {
                    return;
                }
            }
        }
    }

private:
    struct Entry {
        std::string_view name;
        std::size_t index;
    };
    std::vector<std::vector<Entry>> buckets_;
};

void CheckKey(std::string_view key)
{
    const bool valid = !key.empty() && Trim(key) == key && key.front() != '[' &&
                       key.front() != ';' && key.find_first_of("=\r\n") == std::string_view::npos;
    if (!valid) {
        throw std::invalid_argument("not a key for an INI file: " + std::string(key));
    }
}

bool FitsCp1252(std::string_view utf8)
{
    return Cp1252ToUtf8(Utf8ToCp1252(utf8)) == utf8;
}

} // namespace

IniDocument IniDocument::Parse(std::string bytes)
{
    IniDocument document;
    const std::string_view text = bytes;
    if (text.starts_with(kByteOrderMark)) {
        bytes.erase(0, kByteOrderMark.size());
        document.encoding_ = Encoding::Utf8;
    } else if (text.starts_with(kUtf16LeMark) || text.starts_with(kUtf16BeMark)) {
        const bool bigEndian = text.starts_with(kUtf16BeMark);
        if (std::optional<std::string> utf8 = Utf16ToUtf8(text.substr(2), bigEndian)) {
            document.bytes_ = std::move(*utf8);
            document.encoding_ = bigEndian ? Encoding::Utf16Be : Encoding::Utf16Le;
            return document;
        }
    }
    document.bytes_ = std::move(bytes);
    return document;
}

IniDocument::Encoding IniDocument::encoding() const
{
    return encoding_;
}

bool IniDocument::needsUtf8() const
{
    if (encoding_ != Encoding::Windows1252) {
        return true; // the text in memory is UTF-8 already
    }
    for (const Edit& edit : edits_) {
        if (!FitsCp1252(edit.section) || !FitsCp1252(edit.key) || !FitsCp1252(edit.value)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const
{
    return Values(section, std::span(&key, 1)).front();
}

std::vector<std::optional<std::string>>
IniDocument::Values(std::string_view section, std::span<const std::string_view> keys) const
{
    std::vector<std::optional<std::string>> result(keys.size());
    std::size_t open = 0;
    NameSet wanted;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        for (const Edit& edit : edits_) {
            if (EqualNoCase(edit.section, section) && EqualNoCase(edit.key, keys[i])) {
                result[i] = std::string(CutUtf8(Unquote(Trim(edit.value)), kMaxValueLength));
                break;
            }
        }
        if (!result[i]) {
            wanted.add(keys[i], i);
            ++open;
        }
    }
    if (open == 0) {
        return result;
    }

    LineReader reader(bytes_);
    Line line;
    bool inSection = false;
    while (reader.next(line)) {
        const LineParts parts = Classify(line.text);
        if (parts.kind == LineKind::Section) {
            if (inSection) {
                break; // only the first section of the name is read
            }
            inSection = EqualNoCase(parts.name, section);
        } else if (inSection && parts.kind == LineKind::Key) {
            wanted.forEach(parts.name, [&](std::size_t i) {
                if (!result[i]) {
                    result[i] = ReadValue(parts.value, encoding_);
                    --open;
                }
                return true;
            });
            if (open == 0) {
                break;
            }
        }
    }
    return result;
}

bool IniDocument::HasSection(std::string_view section) const
{
    for (const Edit& edit : edits_) {
        if (EqualNoCase(edit.section, section)) {
            return true;
        }
    }
    LineReader reader(bytes_);
    Line line;
    while (reader.next(line)) {
        const LineParts parts = Classify(line.text);
        if (parts.kind == LineKind::Section && EqualNoCase(parts.name, section)) {
            return true;
        }
    }
    return false;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    CheckKey(key);
    std::string clean;
    clean.reserve(value.size());
    for (const char c : value) {
        if (c != '\r' && c != '\n') {
            clean.push_back(c);
        }
    }
    clean = RepairUtf8(clean);
    for (Edit& edit : edits_) {
        if (EqualNoCase(edit.section, section) && EqualNoCase(edit.key, key)) {
            edit.value = std::move(clean);
            return;
        }
    }
    // A section name that would not read back as one is stored without what breaks it.
    std::string name(Trim(section));
    std::erase_if(name, [](char c) { return c == ']' || c == '\r' || c == '\n'; });
    edits_.push_back({std::move(name), std::string(key), std::move(clean)});
}

std::string IniDocument::Serialize() const
{
    if (!needsUtf8()) {
        std::string out = serializeText(false);
        // Windows-1252 text that starts with the characters 255 and 254 (or 254 and 255) and
        // happens to be well-formed UTF-16 after them would read back as UTF-16: such a text
        // is written as UTF-8 instead. Unchanged text never gets here, as Parse() took it
        // for Windows-1252.
        const std::string_view text = out;
        const bool looksLikeUtf16 =
            (text.starts_with(kUtf16LeMark) || text.starts_with(kUtf16BeMark)) &&
            Utf16ToUtf8(text.substr(2), text.starts_with(kUtf16BeMark)).has_value();
        if (!looksLikeUtf16) {
            return out;
        }
    }
    return serializeText(true);
}

std::string IniDocument::serializeText(bool utf8) const
{
    const bool transcode = utf8 && encoding_ == Encoding::Windows1252;

    // The sections that get values, in the order they were first set.
    struct SectionEdits {
        std::string_view name;
        std::vector<std::size_t> edits;
        NameSet keys; // the keys of edits, for the lines of the old text
        bool seen = false;
    };
    std::vector<SectionEdits> sections;
    NameSet sectionNames;
    for (std::size_t e = 0; e < edits_.size(); ++e) {
        bool found = false;
        for (SectionEdits& s : sections) {
            if (EqualNoCase(s.name, edits_[e].section)) {
                s.edits.push_back(e);
                s.keys.add(edits_[e].key, e);
                found = true;
                break;
            }
        }
        if (!found) {
            sectionNames.add(edits_[e].section, sections.size());
            sections.push_back({edits_[e].section, {e}, {}, false});
            sections.back().keys.add(edits_[e].key, e);
        }
    }
    std::vector<bool> written(edits_.size(), false);

    std::string out;
    out.reserve(bytes_.size() + bytes_.size() / 8 * (transcode ? 1 : 0) + 64 * edits_.size() +
                kByteOrderMark.size());
    const bool utf16 = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be;
    if (utf8 && !utf16) {
        out += kByteOrderMark;
    }
    bool lineOpen = false; // the text so far ends in a line without a line end

    const auto keep = [&](std::string_view bytes) {
        if (bytes.empty()) {
            return;
        }
        if (transcode) {
            out += Cp1252ToUtf8(bytes);
        } else {
            out += bytes;
        }
        lineOpen = bytes.back() != '\n';
    };
    const auto newLine = [&](std::string_view a, std::string_view b, std::string_view c) {
        if (lineOpen) {
            out += kLineEnd;
        }
        for (const std::string_view part : {a, b, c}) {
            out += utf8 ? std::string(part) : Utf8ToCp1252(part);
        }
        out += kLineEnd;
        lineOpen = false;
    };
    const auto writeEdit = [&](std::size_t e) {
        newLine(edits_[e].key, "=", edits_[e].value);
        written[e] = true;
    };

    // Blank lines at the end of a section being written are held back, so that the keys
    // added to the section come right after its last line and the blank lines stay
    // between it and the next section. They follow each other in the old text.
    std::string_view heldBlanks;
    SectionEdits* current = nullptr;
    const auto closeSection = [&] {
        if (current != nullptr) {
            for (const std::size_t e : current->edits) {
                if (!written[e]) {
                    writeEdit(e);
                }
            }
            current = nullptr;
        }
        keep(heldBlanks);
        heldBlanks = {};
    };

    LineReader reader(bytes_);
    Line line;
    while (reader.next(line)) {
        const LineParts parts = Classify(line.text);
        if (parts.kind == LineKind::Section) {
            closeSection();
            sectionNames.forEach(parts.name, [&](std::size_t s) {
                if (!sections[s].seen) {
                    sections[s].seen = true;
                    current = &sections[s];
                }
                return false;
            });
            keep(line.whole());
            continue;
        }
        if (current == nullptr) {
            keep(line.whole());
            continue;
        }
        if (parts.kind == LineKind::Blank) {
            const std::string_view whole = line.whole();
            heldBlanks = heldBlanks.empty() ? whole
                                            : std::string_view(heldBlanks.data(),
                                                               heldBlanks.size() + whole.size());
            continue;
        }
        keep(heldBlanks);
        heldBlanks = {};
        bool replaced = false;
        if (parts.kind == LineKind::Key) {
            // Set() keeps one edit per key and section: one match at most.
            current->keys.forEach(parts.name, [&](std::size_t e) {
                if (!written[e]) {
                    writeEdit(e);
                    replaced = true;
                }
                return false;
            });
        }
        if (!replaced) {
            keep(line.whole());
        }
    }
    closeSection();

    for (const SectionEdits& s : sections) {
        if (!s.seen) {
            newLine("[", s.name, "]");
            for (const std::size_t e : s.edits) {
                writeEdit(e);
            }
        }
    }
    if (utf16) {
        const bool bigEndian = encoding_ == Encoding::Utf16Be;
        return std::string(bigEndian ? kUtf16BeMark : kUtf16LeMark) + Utf8ToUtf16(out, bigEndian);
    }
    return out;
}

IniFile ReadIniFile(const std::filesystem::path& path)
{
    IniFile file;
    // Non-blocking, so that opening a pipe never waits for a writer; a regular file reads
    // the same either way.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        file.state =
            (errno == ENOENT || errno == ENOTDIR) ? IniFileState::Missing : IniFileState::Refused;
        return file;
    }
    file.state = IniFileState::Refused;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > kMaxIniFileSize) {
        ::close(fd);
        return file;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            // The file may have grown since fstat: read on, up to the limit.
            if (bytes.size() > kMaxIniFileSize) {
                ::close(fd);
                return file;
            }
            bytes.resize(std::min<std::size_t>(bytes.size() + 65536, kMaxIniFileSize + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return file;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(used);
    file.state = IniFileState::Read;
    file.document = IniDocument::Parse(std::move(bytes));
    return file;
}

} // namespace pyrolith
