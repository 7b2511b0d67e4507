// Every page of the settings window laid out without clipped captions or overlapping
// controls. With PYROLITH_SCREENSHOT_DIR set, each page is also saved as a picture
// (settings-<page>.png), which is how the pictures under docs/screenshots are made:
//   PYROLITH_SCREENSHOT_DIR=docs/screenshots xvfb-run -a build/tests/LayoutTest

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "support/SettingsWindowSupport.h"

namespace {

QString Describe(const QWidget* widget)
{
    return widget->objectName() + QStringLiteral(" (") + widget->metaObject()->className() +
           QStringLiteral(")");
}

// The text a caption needs: its size hint. Word-wrapped labels may break instead.
bool Clipped(const QWidget* widget)
{
    const QSize need = widget->minimumSizeHint().expandedTo(QSize(0, 0));
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->wordWrap()) {
            return widget->height() < label->heightForWidth(widget->width());
        }
        return widget->width() < label->sizeHint().width() ||
               widget->height() < label->sizeHint().height();
    }
    if (qobject_cast<const QAbstractButton*>(widget) != nullptr) {
        return widget->width() < widget->sizeHint().width() ||
               widget->height() < widget->sizeHint().height();
    }
    return widget->width() < need.width() || widget->height() < need.height();
}

QString PageFileName(const QString& title)
{
    return QStringLiteral("settings-") + title.toLower().replace(u' ', u'-') +
           QStringLiteral(".png");
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    SettingsWindowFixture fixture_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        const QString settings = dir_.filePath(QStringLiteral("Pyrolith.ini"));
        WriteSettingsFile(settings, {QStringLiteral("AutoLoadProfile=0")});
        fixture_.create(settings, dir_.path() + u'/');
        fixture_.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(fixture_.window.get()));
    }

    void pages_data()
    {
        QTest::addColumn<int>("index");
        const auto* pages = fixture_.control<QTabWidget>("pgcSettings");
        for (int i = 0; i < pages->count(); ++i) {
            QTest::newRow(qPrintable(pages->tabText(i))) << i;
        }
    }

    void pages()
    {
        QFETCH(int, index);
        auto* pages = fixture_.control<QTabWidget>("pgcSettings");
        pages->setCurrentIndex(index);
        QApplication::processEvents();

        const auto widgets = fixture_.window->findChildren<QWidget*>();
        for (const QWidget* widget : widgets) {
            if (!widget->isVisible() || widget->objectName().startsWith(QLatin1String("qt_"))) {
                continue;
            }
            const bool caption = qobject_cast<const QLabel*>(widget) != nullptr ||
                                 qobject_cast<const QAbstractButton*>(widget) != nullptr ||
                                 qobject_cast<const QGroupBox*>(widget) != nullptr;
            if (caption) {
                QVERIFY2(!Clipped(widget), qPrintable(Describe(widget) + " is clipped"));
            }
            // Siblings laid out in the same parent never overlap.
            for (const QWidget* other : widgets) {
                if (other == widget || other->parentWidget() != widget->parentWidget() ||
                    !other->isVisible() || other->isWindow() ||
                    other->objectName().startsWith(QLatin1String("qt_"))) {
                    continue;
                }
                QVERIFY2(!widget->geometry().intersects(other->geometry()),
                         qPrintable(Describe(widget) + " overlaps " + Describe(other)));
            }
        }

        const QString folder = qEnvironmentVariable("PYROLITH_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QTest::qWait(200);
            const QString path = QDir(folder).filePath(PageFileName(pages->tabText(index)));
            QVERIFY2(fixture_.window->grab().save(path), qPrintable(path));
        }
    }
};

QTEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
