// Renders the user manual (Markdown) into a PDF with Qt's own PDF writer. The build runs it
// on the offscreen platform:  pyrolith-manual docs/manual.md build/bin/Pyrolith_Manual.pdf
// Pictures named in the manual are found relative to the manual's folder; a missing one
// fails the build.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextTable>
#include <QUrl>
#include <cstdio>

namespace {

// Widest picture on the page, in the document's pixels (96 per inch): a little less than
// the text width of A4 with the margins below.
constexpr double kMaxPictureWidth = 500.0;

// Loads every picture of the manual into the document (the printed copy of the document
// keeps loaded pictures but cannot find files by their relative names) and gives it its size
// on the page: its own size, reduced to the text width when it is wider.
bool LoadPictures(QTextDocument& document, const QDir& folder)
{
    bool loaded = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment part = fragment.fragment();
            if (!part.isValid() || !part.charFormat().isImageFormat()) {
                continue;
            }
            QTextImageFormat format = part.charFormat().toImageFormat();
            const QImage image(folder.filePath(format.name()));
            if (image.isNull()) {
                std::fprintf(stderr, "pyrolith-manual: cannot read the picture %s\n",
                             qPrintable(format.name()));
                loaded = false;
                continue;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            const double scale = qMin(1.0, kMaxPictureWidth / image.width());
            format.setWidth(image.width() * scale);
            format.setHeight(image.height() * scale);
            QTextCursor cursor(&document);
            cursor.setPosition(part.position());
            cursor.setPosition(part.position() + part.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return loaded;
}

// Tables get room around their texts and single lines between their cells.
void DressTables(QTextDocument& document)
{
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat format = table->format();
            format.setCellPadding(3);
            format.setCellSpacing(0);
            format.setBorderCollapse(true);
            format.setBorder(0.5);
            table->setFormat(format);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: pyrolith-manual MANUAL.md OUTPUT.pdf\n", stderr);
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);

    QFile source(input);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "pyrolith-manual: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    if (!LoadPictures(document, QFileInfo(input).absoluteDir())) {
        return 1;
    }
    DressTables(document);

    QPdfWriter writer(output);
    writer.setTitle(QStringLiteral("Pyrolith Manual"));
    writer.setCreator(QStringLiteral("Pyrolith"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
    document.print(&writer);

    if (!QFileInfo::exists(output) || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "pyrolith-manual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
