#include "app/AppStyle.h"

#include <QLabel>

namespace AppStyle {

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
