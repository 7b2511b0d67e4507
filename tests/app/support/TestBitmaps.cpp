#include "app/support/TestBitmaps.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <stdexcept>

namespace {

void Put16(QByteArray& bytes, int value)
{
    char buffer[2];
    qToLittleEndian<quint16>(static_cast<quint16>(value), buffer);
    bytes.append(buffer, 2);
}

void Put32(QByteArray& bytes, quint32 value)
{
    char buffer[4];
    qToLittleEndian<quint32>(value, buffer);
    bytes.append(buffer, 4);
}

// File header and BITMAPINFOHEADER; rows bottom-up.
QByteArray Header(int width, int height, int bitsPerPixel, int compression, int extraBytes,
                  int imageBytes)
{
    const int offset = 14 + 40 + extraBytes;
    QByteArray bytes;
    bytes.append("BM");
    Put32(bytes, static_cast<quint32>(offset + imageBytes));
    Put32(bytes, 0);
    Put32(bytes, static_cast<quint32>(offset));
    Put32(bytes, 40);
    Put32(bytes, static_cast<quint32>(width));
    Put32(bytes, static_cast<quint32>(height));
    Put16(bytes, 1);
    Put16(bytes, bitsPerPixel);
    Put32(bytes, static_cast<quint32>(compression));
    Put32(bytes, static_cast<quint32>(imageBytes));
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    return bytes;
}

void Save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write test bitmap " + path.toStdString());
    }
}

} // namespace

void WriteBmp24(const QString& path, int width, int height,
                const std::function<QColor(int, int)>& colourAt)
{
    const int stride = (width * 3 + 3) / 4 * 4;
    QByteArray bytes = Header(width, height, 24, 0, 0, stride * height);
    for (int row = height - 1; row >= 0; --row) {
        QByteArray line;
        for (int x = 0; x < width; ++x) {
            const QColor colour = colourAt(x, row);
            line.append(static_cast<char>(colour.blue()));
            line.append(static_cast<char>(colour.green()));
            line.append(static_cast<char>(colour.red()));
        }
        line.append(QByteArray(stride - line.size(), '\0'));
        bytes.append(line);
    }
    Save(path, bytes);
}

void WriteBmp32WithMasks(const QString& path, int width, int height)
{
    const int imageBytes = width * height * 4;
    QByteArray bytes = Header(width, height, 32, 3, 12, imageBytes); // BI_BITFIELDS
    Put32(bytes, 0x00FF0000);
    Put32(bytes, 0x0000FF00);
    Put32(bytes, 0x000000FF);
    bytes.append(QByteArray(imageBytes, '\x40'));
    Save(path, bytes);
}

void WriteNotABitmap(const QString& path)
{
    Save(path, QByteArray("This is a note, not a picture.\n"));
}
