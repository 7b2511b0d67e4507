#include "settings/IniDocument.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pyrolith {
namespace {

using namespace std::string_literals;

const std::string kBom = "\xEF\xBB\xBF";

// UTF-16 bytes with the byte order mark; characters beyond the Basic Multilingual Plane as
// surrogate pairs.
std::string Utf16(std::u16string_view text, bool bigEndian = false)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
    return out;
}

struct ReadCase {
    const char* what;
    std::string text;
    const char* key;
    std::optional<std::string> expected;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.what;
}

class IniReading : public testing::TestWithParam<ReadCase> {};

TEST_P(IniReading, GivesTheValueAReaderSees)
{
    const ReadCase& c = GetParam();
    const IniDocument document = IniDocument::Parse(c.text);
    EXPECT_EQ(document.Value("Values", c.key), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniReading,
    testing::Values(
        ReadCase{"blanks trimmed", "[Values]\r\nA=  x y \t\r\n", "A", "x y"},
        ReadCase{"LF line ends", "[Values]\nA=1\nB=2\n", "B", "2"},
        ReadCase{"CR LF and LF mixed", "[Values]\r\nA=1\nB=2\r\nC=3\n", "C", "3"},
        ReadCase{"stray CR before CR LF is a blank", "[Values]\r\nA=1\r\r\n", "A", "1"},
        ReadCase{"last line without line end", "[Values]\r\nA=end", "A", "end"},
        ReadCase{"double quotes removed", "[Values]\nA=\"  q  \"\n", "A", "  q  "},
        ReadCase{"single quotes removed", "[Values]\nA='v'\n", "A", "v"},
        ReadCase{"quotes of two kinds kept", "[Values]\nA=\"v'\n", "A", "\"v'"},
        ReadCase{"one pair only", "[Values]\nA=\"\"v\"\"\n", "A", "\"v\""},
        ReadCase{"a lone quote kept", "[Values]\nA=\"\n", "A", "\""},
        ReadCase{"quotes around nothing", "[Values]\nA=''\n", "A", ""},
        ReadCase{"empty value is present", "[Values]\nA=\nB=1\n", "A", ""},
        ReadCase{"blank value is present", "[Values]\nA=   \n", "A", ""},
        ReadCase{"missing key", "[Values]\nB=1\n", "A", std::nullopt},
        ReadCase{"missing section", "[Other]\nA=1\n", "A", std::nullopt},
        ReadCase{"empty file", "", "A", std::nullopt},
        ReadCase{"key before any section", "A=1\r\n[Values]\r\nB=2\r\n", "A", std::nullopt},
        ReadCase{"key in a later section", "[Values]\nB=2\n[Other]\nA=1\n", "A", std::nullopt},
        ReadCase{"key in an earlier section", "[Other]\nA=1\n[Values]\nB=2\n", "A", std::nullopt},
        ReadCase{"duplicate key: first wins", "[Values]\nA=first\nA=second\n", "A", "first"},
        ReadCase{"duplicate key in other case", "[Values]\na=first\nA=second\n", "A", "first"},
        ReadCase{"second section of the name not read", "[Values]\nB=1\n[values]\nA=2\n", "A",
                 std::nullopt},
        ReadCase{"key and section in any case", "[vALUES]\r\nusEinChes=1\r\n", "UseInches", "1"},
        ReadCase{"blanks around section name", "  [ Values ]  \r\nA=1\r\n", "A", "1"},
        ReadCase{"comment after section", "[Values] ; the settings\nA=1\n", "A", "1"},
        ReadCase{"header without ] is none", "[Values\nA=1\n", "A", std::nullopt},
        ReadCase{"comment is no key", "[Values]\n;A=1\nA=2\n", "A", "2"},
        ReadCase{"indented comment", "[Values]\n   ;A=1\n", "A", std::nullopt},
        ReadCase{"blanks around key", "[Values]\n\t A  = 5\n", "A", "5"},
        ReadCase{"value holding =", "[Values]\nA=b=c\n", "A", "b=c"},
        ReadCase{"line without = skipped", "[Values]\nA\nA=3\n", "A", "3"},
        ReadCase{"empty key skipped", "[Values]\n=1\nA=4\n", "A", "4"},
        ReadCase{"Windows-1252 bytes", "[Values]\nA=caf\xE9 \x80\n", "A",
                 "caf\xC3\xA9 \xE2\x82\xAC"},
        ReadCase{"undefined Windows-1252 byte", "[Values]\nA=\x81\n", "A", "\xC2\x81"},
        ReadCase{"UTF-8 with byte order mark", kBom + "[Values]\r\nA=caf\xC3\xA9\r\n", "A",
                 "caf\xC3\xA9"},
        ReadCase{"stray byte in UTF-8 file", kBom + "[Values]\nA=caf\xE9!\n", "A", "caf\xC3\xA9!"},
        ReadCase{"UTF-16 little-endian", Utf16(u"[Values]\r\nA=caf\u00E9 \U0001F600\r\n"), "A",
                 "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        ReadCase{"UTF-16 big-endian", Utf16(u"[Values]\nA=\u0414\n", true), "A", "\xD0\x94"},
        ReadCase{"UTF-16 mark before bytes that are no UTF-16", "\xFF\xFE\n[Values]\nA=12\n", "A",
                 "12"},
        ReadCase{"mark only at the start", "[Values]\n" + kBom + "A=1\n", "A", std::nullopt},
        ReadCase{"binary before section", "\0\xFF\xFE\x01junk=\n[Values]\nA=1\n"s, "A", "1"},
        ReadCase{"NUL in value kept", "[Values]\nA=a\0b\n"s, "A", "a\0b"s}));

TEST(IniReading, CutsValuesTo2047Characters)
{
    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    const std::string x2047(2047, 'x');
    std::string eAcute2047;
    for (int i = 0; i < 2047; ++i) {
        eAcute2047 += "\xC3\xA9";
    }
    std::string eAcute2100Utf8;
    for (int i = 0; i < 2100; ++i) {
        eAcute2100Utf8 += "\xC3\xA9";
    }
    const Case cases[] = {
        {"exactly 2047", x2047, x2047},
        {"2048", x2047 + "y", x2047},
        {"3000", std::string(3000, 'x'), x2047},
        {"quotes removed before the cut", "\"" + x2047 + "yz\"", x2047},
        {"blanks trimmed before the cut", "   " + x2047 + "yz   ", x2047},
        {"a megabyte", std::string(1 << 20, 'x'), x2047},
        {"Windows-1252 characters count once", std::string(2100, '\xE9'), eAcute2047},
    };
    for (const Case& c : cases) {
        const IniDocument document = IniDocument::Parse("[Values]\r\nA=" + c.text + "\r\n");
        EXPECT_EQ(document.Value("Values", "A"), c.expected) << c.what;
    }
    const IniDocument utf8 = IniDocument::Parse(kBom + "[Values]\nA=" + eAcute2100Utf8 + "\n");
    EXPECT_EQ(utf8.Value("Values", "A"), eAcute2047) << "UTF-8 characters count once";
}

TEST(IniReading, ReadsManyKeysInOnePass)
{
    const IniDocument document =
        IniDocument::Parse("[Values]\nB=2\nA=1\nb=dup\n[Other]\nC=3\n[Values]\nC=4\n");
    const std::vector<std::string_view> keys = {"A", "B", "C", "a"};
    const std::vector<std::optional<std::string>> expected = {"1", "2", std::nullopt, "1"};
    EXPECT_EQ(document.Values("Values", keys), expected);
}

struct WriteCase {
    const char* what;
    std::string before;
    std::vector<std::pair<const char*, std::string>> values;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.what;
}

class IniWriting : public testing::TestWithParam<WriteCase> {};

TEST_P(IniWriting, ChangesOnlyTheKeysWritten)
{
    const WriteCase& c = GetParam();
    IniDocument document = IniDocument::Parse(c.before);
    for (const auto& [key, value] : c.values) {
        document.Set("Values", key, value);
    }
    const std::string after = document.Serialize();
    EXPECT_EQ(after, c.after) << c.what;
    // And what was written reads back.
    const IniDocument again = IniDocument::Parse(after);
    for (const auto& [key, value] : c.values) {
        EXPECT_EQ(again.Value("Values", key), document.Value("Values", key)) << c.what << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniWriting,
    testing::Values(
        WriteCase{"new file", "", {{"A", "1"}, {"B", "two"}}, "[Values]\r\nA=1\r\nB=two\r\n"},
        WriteCase{"replaced in place, added at the end of the section, foreign lines kept",
                  "; head\n[Other]\nA=keep\n\n[Values]\nB=old\n; note\nA=old\r\nX=foreign\n\n"
                  "[Tail]\nA=tail\n",
                  {{"A", "new"}, {"B", "nb"}, {"C", "added"}},
                  "; head\n[Other]\nA=keep\n\n[Values]\nB=nb\r\n; note\nA=new\r\nX=foreign\n"
                  "C=added\r\n\n[Tail]\nA=tail\n"},
        WriteCase{"section added at the end of a file without last line end",
                  "[Other]\nK=v",
                  {{"A", "1"}},
                  "[Other]\nK=v\r\n[Values]\r\nA=1\r\n"},
        WriteCase{"key added after a last line without line end",
                  "[Values]\nK=v",
                  {{"A", "1"}},
                  "[Values]\nK=v\r\nA=1\r\n"},
        WriteCase{"replaced last line without line end",
                  "[Values]\nA=old",
                  {{"A", "1"}},
                  "[Values]\nA=1\r\n"},
        WriteCase{"blank lines inside the section stay, trailing ones after the new key",
                  "[Values]\nA=1\n\nB=1\n\n \n[X]\n",
                  {{"C", "3"}},
                  "[Values]\nA=1\n\nB=1\nC=3\r\n\n \n[X]\n"},
        WriteCase{"blank last line without line end",
                  "[Values]\nA=1\n  ",
                  {{"B", "2"}},
                  "[Values]\nA=1\nB=2\r\n  "},
        WriteCase{"first duplicate replaced, later one kept",
                  "[Values]\nA=1\nA=2\n",
                  {{"A", "3"}},
                  "[Values]\nA=3\r\nA=2\n"},
        WriteCase{"first section of the name written",
                  "[Values]\nA=1\n[values]\nB=1\n",
                  {{"B", "2"}},
                  "[Values]\nA=1\nB=2\r\n[values]\nB=1\n"},
        WriteCase{"key matched in any case",
                  "[VALUES]\nusEinChes=0\n",
                  {{"UseInches", "1"}},
                  "[VALUES]\nUseInches=1\r\n"},
        WriteCase{"keys outside the section untouched",
                  "A=0\n[Values]\n",
                  {{"A", "1"}},
                  "A=0\n[Values]\nA=1\r\n"},
        WriteCase{"comment with the key's name untouched",
                  "[Values]\n;A=0\n",
                  {{"A", "1"}},
                  "[Values]\n;A=0\nA=1\r\n"},
        WriteCase{"values written as they are",
                  "",
                  {{"A", " 'q' "}, {"B", ""}},
                  "[Values]\r\nA= 'q' \r\nB=\r\n"},
        WriteCase{"line breaks cannot enter a line",
                  "",
                  {{"A", "a\r\n[Evil]\nb"}},
                  "[Values]\r\nA=a[Evil]b\r\n"},
        WriteCase{"Windows-1252 file stays Windows-1252",
                  "[Values]\r\nA=caf\xE9\r\n",
                  {{"B", "\xC3\xA9\xE2\x82\xAC"}},
                  "[Values]\r\nA=caf\xE9\r\nB=\xE9\x80\r\n"},
        WriteCase{"UTF-8 file stays UTF-8",
                  kBom + "[Values]\r\nA=caf\xC3\xA9\r\n",
                  {{"B", "\xC3\xA9"}},
                  kBom + "[Values]\r\nA=caf\xC3\xA9\r\nB=\xC3\xA9\r\n"},
        WriteCase{"a character beyond Windows-1252 makes the file UTF-8",
                  "; \xE9t\xE9\r\n[Values]\r\nA=caf\xE9\r\n",
                  {{"B", "\xD0\x94\xD0\xBE\xD0\xBC"}},
                  kBom + "; \xC3\xA9t\xC3\xA9\r\n[Values]\r\nA=caf\xC3\xA9\r\nB=\xD0\x94\xD0\xBE"
                         "\xD0\xBC\r\n"},
        WriteCase{"UTF-16 file stays UTF-16",
                  Utf16(u"; \u00E9t\u00E9\n[Values]\r\nA=0\r\n"),
                  {{"A", "\xF0\x9F\x98\x80"}, {"B", "\xD0\x94"}},
                  Utf16(u"; \u00E9t\u00E9\n[Values]\r\nA=\U0001F600\r\nB=\u0414\r\n")},
        WriteCase{"UTF-16 big-endian file stays so",
                  Utf16(u"[Values]\n", true),
                  {{"A", "1"}},
                  Utf16(u"[Values]\nA=1\r\n", true)},
        WriteCase{"Windows-1252 text that would read as UTF-16 is written as UTF-8",
                  "\xFE\xFF=\r\n",
                  {{"A", "1"}},
                  kBom + "\xC3\xBE\xC3\xBF=\r\n[Values]\r\nA=1\r\n"},
        WriteCase{
            "set twice: the last value", "", {{"A", "1"}, {"a", "2"}}, "[Values]\r\nA=2\r\n"}));

TEST(IniWriting, KeepsAnyTextUnchangedWhenNothingIsSet)
{
    const std::string texts[] = {"",
                                 "no line end",
                                 "\r\n\r\n",
                                 kBom,
                                 kBom + "[Values]\nA=1",
                                 "[Values]\r\nA=\xFF\xFE\r\n\0\x80[x\n"s,
                                 Utf16(u"[Values]\nA=\U0001F600"),
                                 "\xFF\xFE[\0x"s,
                                 "\xFE\xFF\xD8\x00\x00A"s,
                                 "\xFF\xFE\x00\xDC"s};
    for (const std::string& text : texts) {
        EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
    }
}

TEST(IniWriting, ValuesSetReadBackBeforeSerializing)
{
    IniDocument document = IniDocument::Parse("[Values]\nA=old\n");
    document.Set("values", "a", "  'x' ");
    EXPECT_EQ(document.Value("Values", "A"), "x");
    EXPECT_EQ(document.Value("Other", "A"), std::nullopt);
}

TEST(IniWriting, RefusesNamesThatWouldNotReadBack)
{
    IniDocument document;
    for (const char* key : {"", "a=b", " a", "a ", "[a", ";a", "a\nb"}) {
        EXPECT_THROW(document.Set("Values", key, "1"), std::invalid_argument) << key;
    }
    EXPECT_EQ(document.Serialize(), "");
}

} // namespace
} // namespace pyrolith
