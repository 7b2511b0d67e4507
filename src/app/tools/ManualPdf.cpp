// Renders the user manual (Markdown) into a PDF with Qt's own PDF writer. The build runs it
// on the offscreen platform:  pyrolith-manual docs/manual.md build/bin/Pyrolith_Manual.pdf
// Pictures named in the manual are found relative to the manual's folder.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>

namespace {

// Widest picture on the page, in the document's pixels (96 per inch): the text width of A4
// with the margins below.
constexpr double kMaxPictureWidth = 600.0;

// Pictures keep their own size unless they are wider than the text; those are reduced.
void FitPictures(QTextDocument& document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment part = fragment.fragment();
            if (!part.isValid() || !part.charFormat().isImageFormat()) {
                continue;
            }
            QTextImageFormat format = part.charFormat().toImageFormat();
            const QVariant resource =
                document.resource(QTextDocument::ImageResource, QUrl(format.name()));
            const QImage image = resource.value<QImage>();
            if (image.isNull() || image.width() <= kMaxPictureWidth) {
                continue;
            }
            const double scale = kMaxPictureWidth / image.width();
            format.setWidth(kMaxPictureWidth);
            format.setHeight(image.height() * scale);
            QTextCursor cursor(&document);
            cursor.setPosition(part.position());
            cursor.setPosition(part.position() + part.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
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
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(input).absolutePath() + QLatin1Char('/')));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    FitPictures(document);

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
