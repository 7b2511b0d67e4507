// Reads any bytes as a settings file or profile, writes the stored fields back and checks
// that the text round-trips: untouched text comes out byte for byte, and every value
// written reads back as the document said it would.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniDocument.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsFiles.h"

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    IniDocument document = IniDocument::Parse(bytes);
    Check(document.Serialize() == bytes);

    JobSettings job;
    AppSettings app;
    ReadStoredFields(document, SettingsReader::SettingsFile, job, app);
    ReadStoredFields(document, SettingsReader::Profile, job, app);
    for (const FieldInfo& field : StoredFields()) {
        if (const std::string* text = TextOf(field, job, app)) {
            Check(text->size() <= 4 * IniDocument::kMaxValueLength);
        }
    }

    SetStoredFields(document, job, app);
    document.Set("Other", "Key", std::string_view(bytes).substr(0, 64));
    const std::string written = document.Serialize();
    const IniDocument again = IniDocument::Parse(written);
    std::vector<std::string_view> keys;
    for (const FieldInfo& field : StoredFields()) {
        keys.push_back(field.key);
    }
    Check(again.Values(kSettingsSection, keys) == document.Values(kSettingsSection, keys));
    Check(again.Value("Other", "Key") == document.Value("Other", "Key"));
    Check(again.Serialize() == written);
    return 0;
}
