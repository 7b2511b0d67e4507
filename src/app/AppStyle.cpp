#include "app/AppStyle.h"

#include <QLabel>

static void RegisterResources()
{
    Q_INIT_RESOURCE(pyrolith);
}

namespace AppStyle {

void LoadResources()
{
    static const bool loaded = [] {
        RegisterResources();
        return true;
    }();
    (void)loaded;
}

void SetProductName(QLabel& label)
{
    QFont font = label.font();
    font.setBold(true);
    font.setPixelSize(24);
    label.setFont(font);
}

void SetDistributedByLine(QLabel& label)
{
    QFont font = label.font();
    font.setBold(true);
    font.setItalic(true);
    font.setUnderline(true);
    label.setFont(font);
}

void SetLink(QLabel& label)
{
    QFont font = label.font();
    font.setUnderline(true);
    label.setFont(font);
    QPalette navy = label.palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label.setPalette(navy);
    label.setCursor(Qt::PointingHandCursor);
}

} // namespace AppStyle
