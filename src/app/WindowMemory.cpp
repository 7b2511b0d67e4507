#include "app/WindowMemory.h"

#include <array>
#include <string>
#include <string_view>

#include "app/AppPlatform.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFiles.h"

namespace {

constexpr std::string_view kGeometry = "MainWindowGeometry";
constexpr std::string_view kState = "MainWindowState";
constexpr std::string_view kShowTravel = "JobShowTravel";

QByteArray FromBase64(const std::optional<std::string>& text)
{
    if (!text) {
        return {};
    }
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(*text), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

} // namespace

WindowMemory WindowMemory::Read(const QString& settingsFile)
{
    const pyrolith::IniFile file = pyrolith::ReadIniFile(ToPath(settingsFile));
    const std::array<std::string_view, 3> keys = {kGeometry, kState, kShowTravel};
    const auto values = file.document.Values(pyrolith::kSettingsSection, keys);
    WindowMemory memory;
    memory.mainGeometry = FromBase64(values[0]);
    memory.mainState = FromBase64(values[1]);
    memory.showTravel = values[2] == "1";
    return memory;
}

void WindowMemory::write(const QString& settingsFile) const
{
    pyrolith::WriteIniValues(ToPath(settingsFile),
                             {{std::string(kGeometry), mainGeometry.toBase64().toStdString()},
                              {std::string(kState), mainState.toBase64().toStdString()},
                              {std::string(kShowTravel), showTravel ? "1" : "0"}});
}
