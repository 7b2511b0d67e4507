// The settings window: its pages, the modified marker, the unit switch, hiding and writing.

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "settings/SettingsFields.h"
#include "support/SettingsWindowSupport.h"

namespace {

const char* const kUnitLabels[] = {"lblStartHeightUnit",      "lblXOffsetUnit",
                                   "lblYOffsetUnit",          "lblBacklashUnit",
                                   "lblInitialCutHeightUnit", "lblAdvDownUnit", "lblCutKerfUnit",
                                   "lblOverscanUnit"};

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SettingsWindowFixture> fixture_;

    QString settingsPath() const { return dir_->filePath(QStringLiteral("Pyrolith.ini")); }

    // A window over a settings file holding lines, no profile loaded, shown.
    SettingsWindowFixture& createWindow(QStringList lines = {QStringLiteral("AutoLoadProfile=0")})
    {
        WriteSettingsFile(settingsPath(), lines);
        fixture_->create(settingsPath(), dir_->path() + u'/');
        fixture_->window->show();
        if (!QTest::qWaitForWindowExposed(fixture_->window.get())) {
            qFatal("window not shown");
        }
        return *fixture_;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        fixture_ = std::make_unique<SettingsWindowFixture>();
    }

    void cleanup()
    {
        fixture_.reset();
        dir_.reset();
    }

    void startState()
    {
        auto& f = createWindow();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(f.window->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(!(f.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(f.window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QCOMPARE(f.control<QLabel>("lblProfile")->text(), QStringLiteral("<none loaded>"));
        QVERIFY(!f.modified());
        auto* pages = f.control<QTabWidget>("pgcSettings");
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tabBasics"));
        QStringList titles;
        for (int i = 0; i < pages->count(); ++i) {
            titles << pages->tabText(i);
        }
        QCOMPARE(titles,
                 (QStringList{"Basics", "Image", "Cut", "Additional", "GCode Flavor", "Machine"}));
    }

    // Every stored field shows its value; the hidden, disabled and editable ones as listed.
    void controlsEditableAsListed()
    {
        auto& f = createWindow();
        QVERIFY(f.control<QGroupBox>("grpGcodeOutput")->isHidden());
        const QStringList disabled = {
            // what the default mode, the nearest of 16 colours, does not use
            "edtThreshold", "edtBrightness", "edtContrast", "edtGamma", "chkInvert"};
        for (const pyrolith::FieldInfo& field : pyrolith::StoredFields()) {
            if (field.control.empty() || field.key == "Optimize") {
                continue;
            }
            const QString name = QString::fromLatin1(field.control.data(), field.control.size());
            auto* widget = f.window->findChild<QWidget*>(name);
            QVERIFY2(widget != nullptr, qPrintable(name));
            QVERIFY2(widget->isEnabled() == !disabled.contains(name), qPrintable(name));
            QVERIFY2(!widget->isHidden(), qPrintable(name));
        }
        for (const char* name : {"chkDoLeftCenter", "edtDwellTime3"}) {
            QVERIFY(f.window->findChild<QWidget*>(name)->isEnabled());
        }
    }

    // Hover hints belong to the "Basics" page only.
    void hintsOnBasicsPageOnly()
    {
        auto& f = createWindow();
        auto* pages = f.control<QTabWidget>("pgcSettings");
        for (int i = 0; i < pages->count(); ++i) {
            QWidget* page = pages->widget(i);
            const auto widgets = page->findChildren<QWidget*>();
            const auto withHint = std::count_if(widgets.begin(), widgets.end(),
                                                [](QWidget* w) { return !w->toolTip().isEmpty(); });
            QCOMPARE(withHint > 0, page->objectName() == QLatin1String("tabBasics"));
        }
        QCOMPARE(f.control<QLineEdit>("edtCutPower")->toolTip(),
                 QStringLiteral("The command to turn the laser on  to the power used for cutting"));
    }

    // Which user actions mark the profile modified.
    void markerAfterAction_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("imageLoaded");
        QTest::addColumn<bool>("modified");

        QTest::newRow("half pixel height") << "chkHalfStepHeight"
                                           << "click" << false << true;
        QTest::newRow("home command check") << "chkDoHome"
                                            << "click" << false << true;
        QTest::newRow("x offset check") << "chkXoffset"
                                        << "click" << false << true;
        QTest::newRow("precision") << "chkPrecision"
                                   << "click" << false << true;
        QTest::newRow("start of code check") << "chkStartOfCode"
                                             << "click" << false << true;
        QTest::newRow("G0 check") << "chkUseG0"
                                  << "click" << false << false;
        QTest::newRow("left/center check") << "chkDoLeftCenter"
                                           << "click" << false << false;
        QTest::newRow("load last used") << "chkAutoLoadProfile"
                                        << "click" << false << false;
        QTest::newRow("GRBL") << "rdoGRBL"
                              << "click" << false << true;
        QTest::newRow("3D printer already checked") << "rdoPrinter"
                                                    << "click" << false << false;
        QTest::newRow("unit inches") << "rdoInches"
                                     << "click" << false << true;
        QTest::newRow("unit mm already checked") << "rdoMm"
                                                 << "click" << false << false;
        QTest::newRow("typed laser command") << "edtLaserOffCommand"
                                             << "type" << false << true;
        QTest::newRow("typed comment") << "edtEndComment"
                                       << "type" << false << true;
        QTest::newRow("typed home command") << "edtHomeCommand"
                                            << "type" << false << true;
        QTest::newRow("typed memo") << "Memo1"
                                    << "type" << false << true;
        QTest::newRow("typed notes") << "Memo3"
                                     << "type" << false << true;
        QTest::newRow("pasted laser command") << "edtLaserOnCommand"
                                              << "paste" << false << true;
        QTest::newRow("pasted memo") << "Memo2"
                                     << "paste" << false << true;
        QTest::newRow("pasted speed") << "edtOffSpeed"
                                      << "paste" << false << false;
        QTest::newRow("pasted offset, picture loaded") << "edtXOffset"
                                                       << "paste" << true << false;
        QTest::newRow("pasted distance, no picture") << "edtDperPixel"
                                                     << "paste" << false << false;
        QTest::newRow("pasted distance, picture loaded") << "edtDperPixel"
                                                         << "paste" << true << true;
        QTest::newRow("typed distance, no picture") << "edtDperPixel"
                                                    << "type" << false << true;
    }

    void markerAfterAction()
    {
        QFETCH(QString, control);
        QFETCH(QString, action);
        QFETCH(bool, imageLoaded);
        QFETCH(bool, modified);

        auto& f = createWindow();
        f.imageLoaded = imageLoaded;
        auto* widget = f.window->findChild<QWidget*>(control);
        QVERIFY(widget != nullptr);
        auto* pages = f.control<QTabWidget>("pgcSettings");
        for (QWidget* page = widget; page != nullptr; page = page->parentWidget()) {
            if (pages->indexOf(page) >= 0) {
                pages->setCurrentWidget(page);
            }
        }
        QVERIFY(!f.modified());
        if (action == QLatin1String("click")) {
            QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
        } else if (action == QLatin1String("type")) {
            QTest::keyClicks(widget, QStringLiteral("5"));
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(QStringLiteral("12"));
        } else {
            qobject_cast<QPlainTextEdit*>(widget)->setPlainText(QStringLiteral("G21"));
        }
        QCOMPARE(f.modified(), modified);
    }

    // The engraving options sit on the pages where they act and carry what is typed or
    // clicked into the record.
    void engravingControlsOnTheirPages()
    {
        auto& f = createWindow();
        auto* pages = f.control<QTabWidget>("pgcSettings");
        const auto pageOf = [&](const char* name) {
            QWidget* widget = f.window->findChild<QWidget*>(name);
            while (widget != nullptr && pages->indexOf(widget) < 0) {
                widget = widget->parentWidget();
            }
            return widget == nullptr ? QString() : widget->objectName();
        };
        for (const char* name : {"edtPowerLevels", "edtMinPower", "edtOverscan"}) {
            QCOMPARE(pageOf(name), QStringLiteral("tabImage"));
        }
        QCOMPARE(pageOf("cboPrinterLaserMode"), QStringLiteral("tabFlavor"));

        pages->setCurrentIndex(1);
        auto* overscan = f.control<QLineEdit>("edtOverscan");
        overscan->clear();
        QTest::keyClicks(overscan, QStringLiteral("2.5"));
        QCOMPARE(QString::fromStdString(f.window->jobSettings().Overscan), QStringLiteral("2.5"));
        pages->setCurrentIndex(4);
        auto* laser = f.control<QComboBox>("cboPrinterLaserMode");
        QCOMPARE(laser->count(), 4);
        laser->setCurrentIndex(1);
        QVERIFY(f.window->jobSettings().SyncLaserCommands);
        QCOMPARE(f.window->jobSettings().PrinterLaserMode, std::string("1"));
        QVERIFY(f.modified());
        // Another choice clears the old key of the M400 choice.
        laser->setCurrentIndex(3);
        QVERIFY(!f.window->jobSettings().SyncLaserCommands);
        QCOMPARE(f.window->jobSettings().PrinterLaserMode, std::string("3"));
    }

    // Every check box and radio button of the record carries its change into the record.
    // A setting given from outside (the picture bar, the machine's own settings): the record
    // follows and the profile counts as changed when the value changed; a flag takes 1 or 0.
    void fieldSetFromOutside_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("record");
        QTest::addColumn<bool>("modified");
        QTest::newRow("number") << "AccelX" << "800" << true << "800" << true;
        QTest::newRow("check box off") << "LaserMode" << "0" << true << "0" << true;
        QTest::newRow("check box as it is") << "LaserMode" << "1" << true << "1" << false;
        QTest::newRow("flag, another word") << "LaserMode" << "yes" << false << "1" << false;
        QTest::newRow("radio pair on") << "GRBL" << "1" << true << "1" << true;
    }

    void fieldSetFromOutside()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(bool, taken);
        QFETCH(QString, record);
        QFETCH(bool, modified);
        auto& f = createWindow();
        QCOMPARE(f.window->setFieldText(key, text), taken);
        QCOMPARE(f.modified(), modified);
        const pyrolith::FieldInfo& field = *pyrolith::FindStoredField(key.toStdString());
        QCOMPARE(pyrolith::ValueText(field, f.window->jobSettings(), f.window->appSettings()),
                 record.toStdString());
    }

    void flagControlsFollowClicks()
    {
        auto& f = createWindow();
        f.control<QTabWidget>("pgcSettings")->setCurrentIndex(4);
        QTest::mouseClick(f.control<QRadioButton>("rdoGRBL"), Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(f.window->jobSettings().GRBL);
        f.control<QTabWidget>("pgcSettings")->setCurrentIndex(1);
        const bool before = f.window->jobSettings().IndicateLeftCenter;
        QTest::mouseClick(f.control<QCheckBox>("chkDoLeftCenter"), Qt::LeftButton, {},
                          QPoint(8, 8));
        QCOMPARE(f.window->jobSettings().IndicateLeftCenter, !before);
        QTest::keyClicks(f.control<QLineEdit>("edtDwellTime3"), QStringLiteral("1"));
        QCOMPARE(f.window->jobSettings().LeftCenterDwellTime, std::string("50001"));
        QTest::keyClicks(f.control<QPlainTextEdit>("Memo1"), QStringLiteral("G21"));
        QTest::keyClick(f.control<QPlainTextEdit>("Memo1"), Qt::Key_Return);
        QTest::keyClicks(f.control<QPlainTextEdit>("Memo1"), QStringLiteral("G90"));
        QCOMPARE(f.window->jobSettings().StartOfCode, std::string("G21\r\nG90"));
    }

    void unitSwitch_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("inches");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("caption");

        QTest::newRow("inches") << "rdoInches" << true << "in"
                                << "Speeds (in/min)";
        QTest::newRow("millimetres") << "rdoMm" << false << "mm"
                                     << "Speeds (mm/min)";
    }

    // The labels follow the unit; the digits stay; the final size follows; the marker is set.
    void unitSwitch()
    {
        QFETCH(QString, button);
        QFETCH(bool, inches);
        QFETCH(QString, unit);
        QFETCH(QString, caption);

        // Start in the other unit.
        auto& f = createWindow({QStringLiteral("AutoLoadProfile=0"),
                                QStringLiteral("UseInches=%1").arg(inches ? 0 : 1),
                                QStringLiteral("DistPerPixel=0.1")});
        QVERIFY(!f.modified());
        QCOMPARE(f.control<QGroupBox>("grpSpeeds")->title(),
                 inches ? QStringLiteral("Speeds (mm/min)") : QStringLiteral("Speeds (in/min)"));
        const int callsBefore = f.finalSizeCalls;
        QTest::mouseClick(f.window->findChild<QRadioButton*>(button), Qt::LeftButton, {},
                          QPoint(8, 8));
        QCOMPARE(f.window->jobSettings().UseInches, inches);
        QCOMPARE(f.control<QGroupBox>("grpSpeeds")->title(), caption);
        for (const char* name : kUnitLabels) {
            QCOMPARE(f.control<QLabel>(name)->text(), unit);
        }
        QCOMPARE(f.finalSizeCalls, callsBefore + 1);
        QCOMPARE(f.control<QLineEdit>("edtDperPixel")->text(), QStringLiteral("0.1"));
        QVERIFY(f.modified());
    }

    // The final size follows the distance per pixel, typed or pasted.
    void finalSizeFollowsDistance()
    {
        auto& f = createWindow();
        const int before = f.finalSizeCalls;
        auto* edit = f.control<QLineEdit>("edtDperPixel");
        edit->setText(QStringLiteral("0.2"));
        QTest::keyClicks(edit, QStringLiteral("5"));
        QCOMPARE(f.finalSizeCalls, before + 2);
        QCOMPARE(f.window->jobSettings().DistPerPixel, std::string("0.25"));
    }

    void doneHidesAndWrites()
    {
        auto& f = createWindow();
        QFile::remove(settingsPath());
        QTest::mouseClick(f.control<QPushButton>("btnDone"), Qt::LeftButton);
        QVERIFY(!f.window->isVisible());
        QVERIFY(QFileInfo::exists(settingsPath()));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    // The close box hides like "Done"; the window keeps the page last chosen.
    void closeBoxHidesAndKeepsPage()
    {
        auto& f = createWindow();
        QFile::remove(settingsPath());
        auto* pages = f.control<QTabWidget>("pgcSettings");
        pages->setCurrentIndex(3);
        QVERIFY(f.window->close());
        QVERIFY(!f.window->isVisible());
        QVERIFY(QFileInfo::exists(settingsPath()));
        f.window->showBeside(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tabAdditional"));
    }

    void failedWriteShowsMessage()
    {
        auto& f = createWindow();
        f.window->hide();
        const QString unwritable = dir_->filePath(QStringLiteral("missing/Pyrolith.ini"));
        fixture_ = std::make_unique<SettingsWindowFixture>();
        fixture_->create(unwritable, dir_->path() + u'/');
        fixture_->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(fixture_->window.get()));
        QTest::mouseClick(fixture_->control<QPushButton>("btnDone"), Qt::LeftButton);
        QCOMPARE(
            fixture_->dialogs.messages,
            QStringList{
                QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(unwritable))});
        QVERIFY(!fixture_->window->isVisible());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
