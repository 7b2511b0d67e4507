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
#include <QTextLayout>
#include <QAbstractTextDocumentLayout>
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

// The bottom of the first line of a block: where the text that follows a heading begins.
qreal FirstLineBottom(QTextDocument& document, const QTextBlock& block)
{
    const QRectF box = document.documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    if (layout == nullptr || layout->lineCount() == 0) {
        return box.bottom();
    }
    const QTextLine line = layout->lineAt(0);
    return box.top() + line.y() + line.height();
}

// Keeps every heading on the page of the text that follows it: where the text would begin on
// a later page, the heading (or the run of headings before the text) starts that page. The
// document must have its page size, so that its layout is the printed one.
void KeepHeadingsWithText(QTextDocument& document)
{
    const qreal pageHeight = document.pageSize().height();
    QTextBlock block = document.begin();
    while (block.isValid()) {
        if (block.blockFormat().headingLevel() == 0) {
            block = block.next();
            continue;
        }
        const QTextBlock first = block;
        QTextBlock text = block.next();
        while (text.isValid() && text.blockFormat().headingLevel() > 0) {
            text = text.next();
        }
        if (!text.isValid()) {
            break;
        }
        const QRectF heading = document.documentLayout()->blockBoundingRect(first);
        const int headingPage = static_cast<int>(heading.top() / pageHeight);
        const int textPage = static_cast<int>(FirstLineBottom(document, text) / pageHeight);
        if (textPage > headingPage && first.blockFormat().pageBreakPolicy() == 0) {
            QTextBlockFormat format = first.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(first).setBlockFormat(format);
        }
        block = text;
    }
    // The layout after the last change is finished lazily; printing needs all of it.
    document.markContentsDirty(0, document.characterCount());
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
    // The document is laid out on pages of the printed text area (in its own 96 pixels per
    // inch), so that the headings can be kept with their text before it is printed.
    const QRectF area = writer.pageLayout().paintRect(QPageLayout::Inch);
    document.setPageSize(QSizeF(area.width() * 96.0, area.height() * 96.0));
    KeepHeadingsWithText(document);
    document.print(&writer);

    if (!QFileInfo::exists(output) || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "pyrolith-manual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
