// Draws the program's icon, the distributor's logo and the badge of the splash and about
// windows into src/app/resources. Run by hand when the pictures change:
//   QT_QPA_PLATFORM=offscreen build/bin/pyrolith-artwork src/app/resources
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kSlate(31, 42, 54);
const QColor kCream(244, 241, 234);
const QColor kOrange(255, 122, 26);

// The icon on a 256 x 256 canvas: a laser head whose beam burns raster rows into a stone slab.
void DrawIcon(QPainter& p)
{
    QLinearGradient slab(0, 16, 0, 240);
    slab.setColorAt(0, QColor(98, 108, 120));
    slab.setColorAt(1, QColor(44, 50, 58));
    p.setPen(QPen(QColor(27, 31, 36), 6));
    p.setBrush(slab);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 36, 36);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 23, 27));
    const QRectF rows[] = {{52, 196, 152, 11}, {60, 180, 136, 11}, {70, 164, 46, 11},
                           {140, 164, 46, 11}, {84, 148, 24, 11},  {148, 148, 24, 11}};
    for (const QRectF& row : rows) {
        p.drawRoundedRect(row, 2, 2);
    }

    QLinearGradient beam(0, 82, 0, 150);
    beam.setColorAt(0, QColor(255, 224, 138));
    beam.setColorAt(1, QColor(255, 90, 31));
    p.setBrush(beam);
    p.drawPolygon(QPolygonF({{120, 80}, {136, 80}, {131, 152}, {125, 152}}));

    QRadialGradient glow(128, 153, 34);
    glow.setColorAt(0, QColor(255, 246, 200));
    glow.setColorAt(0.35, QColor(255, 176, 46));
    glow.setColorAt(1, QColor(255, 77, 18, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(128, 153), 34, 34);
    p.setBrush(QColor(255, 251, 230));
    p.drawEllipse(QPointF(128, 153), 6, 6);

    p.setPen(QPen(QColor(27, 31, 36), 4));
    QLinearGradient metal(0, 34, 0, 68);
    metal.setColorAt(0, QColor(236, 239, 242));
    metal.setColorAt(1, QColor(176, 183, 191));
    p.setBrush(metal);
    p.drawRoundedRect(QRectF(92, 30, 72, 38), 7, 7);
    p.setBrush(QColor(150, 158, 168));
    p.drawRect(QRectF(114, 68, 28, 14));
}

QPainterPath EmberPath(double x, double y, double scale)
{
    QPainterPath ember;
    auto at = [&](double px, double py) { return QPointF(x + px * scale, y + py * scale); };
    ember.moveTo(at(22, 100));
    ember.cubicTo(at(-4, 80), at(0, 50), at(20, 30));
    ember.cubicTo(at(20, 46), at(30, 52), at(36, 54));
    ember.cubicTo(at(32, 36), at(40, 14), at(60, 2));
    ember.cubicTo(at(56, 24), at(72, 38), at(78, 56));
    ember.cubicTo(at(84, 76), at(72, 96), at(52, 102));
    ember.closeSubpath();
    return ember;
}

// The distributor's logo on a 324 x 164 canvas (shown at 162 x 82).
void DrawLogo(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    p.drawRoundedRect(QRectF(2, 2, 320, 160), 18, 18);

    QLinearGradient fire(0, 126, 0, 22);
    fire.setColorAt(0, QColor(198, 42, 6));
    fire.setColorAt(0.6, kOrange);
    fire.setColorAt(1, QColor(255, 211, 90));
    p.setBrush(fire);
    p.drawPath(EmberPath(26, 22, 1.0));
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(22, 128, 280, 6), 3, 3);

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setBold(true);
    name.setPixelSize(33);
    p.setFont(name);
    p.setPen(kCream);
    p.drawText(QRectF(112, 36, 204, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Emberline"));
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(15);
    line.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(line);
    p.setPen(QColor(255, 179, 107));
    p.drawText(QRectF(116, 86, 200, 28), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("ENGRAVING SUPPLY"));
}

// A round badge on a 164 x 164 canvas (shown at 82 x 82).
void DrawBadge(QPainter& p)
{
    p.setPen(QPen(kSlate, 6));
    p.setBrush(kCream);
    p.drawEllipse(QPointF(82, 82), 76, 76);
    p.setPen(QPen(kOrange, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(82, 82), 63, 63);

    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    const QRectF rows[] = {{42, 92, 80, 8}, {50, 80, 26, 8}, {88, 80, 26, 8}, {62, 68, 40, 8}};
    for (const QRectF& row : rows) {
        p.drawRoundedRect(row, 2, 2);
    }
    p.setBrush(QColor(255, 90, 31));
    p.drawPolygon(QPolygonF({{78, 24}, {86, 24}, {84, 60}, {80, 60}}));
    p.setBrush(QColor(255, 211, 90));
    p.drawEllipse(QPointF(82, 62), 7, 7);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(kSlate);
    p.drawText(QRectF(22, 104, 120, 22), Qt::AlignCenter, QStringLiteral("LASER READY"));
}

bool Save(const QString& folder, const QString& name, QSize canvas, QSize size,
          void (*draw)(QPainter&))
{
    QImage image(canvas, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        draw(painter);
    }
    const QImage scaled = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return scaled.save(folder + QLatin1Char('/') + name);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: pyrolith-artwork FOLDER\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool saved =
        Save(folder, QStringLiteral("icon-256.png"), {256, 256}, {256, 256}, DrawIcon) &&
        Save(folder, QStringLiteral("icon-64.png"), {256, 256}, {64, 64}, DrawIcon) &&
        Save(folder, QStringLiteral("icon-48.png"), {256, 256}, {48, 48}, DrawIcon) &&
        Save(folder, QStringLiteral("logo.png"), {324, 164}, {324, 164}, DrawLogo) &&
        Save(folder, QStringLiteral("badge.png"), {164, 164}, {164, 164}, DrawBadge);
    if (!saved) {
        std::fputs("pyrolith-artwork: cannot write the pictures\n", stderr);
        return 1;
    }
    return 0;
}
