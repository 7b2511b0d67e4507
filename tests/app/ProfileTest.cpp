// Profiles through the settings window: save and load round trips through real files, the
// start-up read, the exit prompt and the final write.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "support/SettingsWindowSupport.h"

class ProfileTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;

    QString settingsPath() const { return dir_->filePath(QStringLiteral("Pyrolith.ini")); }
    QString profilesFolder() const { return dir_->filePath(QStringLiteral("Profiles")) + u'/'; }
    QString profilePath(const char* name) const { return profilesFolder() + QLatin1String(name); }

    std::unique_ptr<SettingsWindowFixture> createWindow()
    {
        auto fixture = std::make_unique<SettingsWindowFixture>();
        fixture->create(settingsPath(), profilesFolder());
        return fixture;
    }

    // Edits made as a user makes them: typed keys and clicks.
    static void editFields(SettingsWindowFixture& f)
    {
        f.window->show();
        auto* pages = f.control<QTabWidget>("pgcSettings");
        f.control<QLineEdit>("edtLaserOnCommand")->clear();
        QTest::keyClicks(f.control<QLineEdit>("edtLaserOnCommand"), QStringLiteral("M3 S1000"));
        QTest::keyClicks(f.control<QLineEdit>("edtDperPixel"), QStringLiteral("25"));
        QTest::keyClicks(f.control<QLineEdit>("edtStartComment"), QStringLiteral("("));
        QTest::keyClicks(f.control<QLineEdit>("edtEndComment"), QStringLiteral(")"));
        pages->setCurrentIndex(1);
        f.control<QCheckBox>("chkDoHome")->click();
        QTest::keyClicks(f.control<QLineEdit>("edtXOffset"), QStringLiteral("-"));
        pages->setCurrentIndex(3);
        auto* memo = f.control<QPlainTextEdit>("Memo1");
        QTest::keyClicks(memo, QStringLiteral("G21"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("G90"));
        f.control<QCheckBox>("chkStartOfCode")->click();
        pages->setCurrentIndex(4);
        f.control<QRadioButton>("rdoGRBL")->click();
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("Profiles")));
    }

    void cleanup() { dir_.reset(); }

    // A first run: no settings file, so the last profile is loaded with an empty name.
    void firstRun()
    {
        auto f = createWindow();
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QString());
        QVERIFY(!f->modified());
        QCOMPARE(f->window->jobSettings().OnSpeed, std::string("200"));
        QVERIFY(f->window->appSettings().AutoLoadProfile);
        QVERIFY(f->control<QCheckBox>("chkAutoLoadProfile")->isChecked());
        QCOMPARE(f->control<QLabel>("lblStartHeightUnit")->text(), QStringLiteral("mm"));
    }

    void saveAndLoadRoundTrip()
    {
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QStringLiteral("<none loaded>"));
        editFields(*f);
        QVERIFY(f->modified());
        const pyrolith::JobSettings saved = f->window->jobSettings();
        QCOMPARE(saved.StartOfCode, std::string("G21\r\nG90"));
        QCOMPARE(saved.DistPerPixel, std::string("0.125"));

        f->dialogs.saveAnswers << profilePath("engraver.prf");
        QTest::mouseClick(f->control<QPushButton>("btnSaveProfile"), Qt::LeftButton);
        QCOMPARE(f->dialogs.saveRequests.size(), 1);
        const auto& request = f->dialogs.saveRequests.front();
        QCOMPARE(request.folder, profilesFolder());
        QCOMPARE(request.filter, QStringLiteral("Quellin Profiles (*.prf)"));
        QCOMPARE(request.fileName, QString()); // nothing offered while none is loaded
        QCOMPARE(request.defaultSuffix, QStringLiteral("prf"));
        QVERIFY(request.confirmOverwrite);
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QStringLiteral("engraver"));
        QVERIFY(!f->modified());
        QCOMPARE(f->window->appSettings().Profile, profilePath("engraver.prf").toStdString());

        // Change things, then load the profile back.
        QTest::keyClicks(f->control<QLineEdit>("edtLaserOnCommand"), QStringLiteral("0"));
        f->control<QRadioButton>("rdoPrinter")->click();
        QVERIFY(f->modified());
        f->dialogs.openAnswers << profilePath("engraver.prf");
        QTest::mouseClick(f->control<QPushButton>("btnLoadProfile"), Qt::LeftButton);
        QCOMPARE(f->dialogs.openRequests.size(), 1);
        QCOMPARE(f->dialogs.openRequests.front().folder, profilesFolder());
        QCOMPARE(f->dialogs.openRequests.front().filter,
                 QStringLiteral("Quellin Profiles (*.prf)"));
        QVERIFY(f->window->jobSettings() == saved);
        QCOMPARE(f->control<QLineEdit>("edtLaserOnCommand")->text(), QStringLiteral("M3 S1000"));
        QCOMPARE(f->control<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("G21\nG90"));
        QVERIFY(f->control<QRadioButton>("rdoGRBL")->isChecked());
        QVERIFY(!f->modified());

        // A second save offers the current label as the file name.
        f->window->saveProfileCommand();
        QCOMPARE(f->dialogs.saveRequests.size(), 2);
        QCOMPARE(f->dialogs.saveRequests.back().fileName, QStringLiteral("engraver"));

        // A new run loads the profile at start.
        f->control<QCheckBox>("chkAutoLoadProfile")->click();
        QVERIFY(!f->modified());
        f->window->finishRun();
        QVERIFY(f->dialogs.questions.isEmpty());
        f.reset();
        auto next = createWindow();
        QCOMPARE(next->control<QLabel>("lblProfile")->text(), QStringLiteral("engraver"));
        QVERIFY(next->window->jobSettings() == saved);
        QVERIFY(!next->modified());
    }

    // Every text field typed with blanks or quotes at its edges comes back from a saved
    // profile, and from the settings file at the next start, as it was typed.
    void edgeBlanksSurviveSaveAndLoad_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("trailing blank") << QStringLiteral("; ");
        QTest::newRow("leading blank") << QStringLiteral(" M106 S255");
        QTest::newRow("quoted") << QStringLiteral("\"(\"");
        QTest::newRow("single quotes and a blank") << QStringLiteral("'x' ");
    }

    void edgeBlanksSurviveSaveAndLoad()
    {
        QFETCH(QString, value);
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=1")});
        auto f = createWindow();
        f->window->show();
        const QStringList edits = {"edtLaserOffCommand", "edtLaserOnCommand", "edtLaserLowPower",
                                   "edtCutPower",        "edtStartComment",   "edtEndComment",
                                   "edtHomeCommand"};
        const QStringList memos = {"Memo1", "Memo2", "Memo3"};
        for (const QString& name : edits) {
            auto* edit = f->control<QLineEdit>(qPrintable(name));
            edit->clear();
            QTest::keyClicks(edit, value);
        }
        for (const QString& name : memos) {
            auto* memo = f->control<QPlainTextEdit>(qPrintable(name));
            memo->clear();
            QTest::keyClicks(memo, value);
            QTest::keyClick(memo, Qt::Key_Return);
            QTest::keyClicks(memo, value);
        }
        const pyrolith::JobSettings typed = f->window->jobSettings();
        QCOMPARE(typed.StartComment, value.toStdString());
        QCOMPARE(typed.StartOfCode, (value + QStringLiteral("\r\n") + value).toStdString());
        f->dialogs.saveAnswers << profilePath("edges.prf");
        f->window->saveProfileCommand();

        // Another profile over it, then the saved one loaded back.
        f->window->loadProfile(profilePath("none.prf"));
        QVERIFY(f->window->jobSettings() != typed);
        f->dialogs.openAnswers << profilePath("edges.prf");
        f->window->loadProfileCommand();
        QVERIFY(f->window->jobSettings() == typed);
        for (const QString& name : edits) {
            QCOMPARE(f->control<QLineEdit>(qPrintable(name))->text(), value);
        }
        for (const QString& name : memos) {
            QCOMPARE(f->control<QPlainTextEdit>(qPrintable(name))->toPlainText(),
                     value + u'\n' + value);
        }
        f->window->finishRun();
        f.reset();
        auto next = createWindow();
        QVERIFY(next->window->jobSettings() == typed);
    }

    void cancelledDialogsChangeNothing()
    {
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        editFields(*f);
        const pyrolith::JobSettings edited = f->window->jobSettings();
        f->window->loadProfileCommand();
        f->window->saveProfileCommand();
        QVERIFY(f->window->jobSettings() == edited);
        QVERIFY(f->modified());
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QStringLiteral("<none loaded>"));
        QCOMPARE(f->window->appSettings().Profile, std::string());
        QVERIFY(QDir(profilesFolder()).isEmpty());
    }

    // A file picked by mistake is refused whole: no unsaved setting is lost, the profile,
    // its label and the marker stay.
    void wrongFileRefusedChangesNothing()
    {
        WriteSettingsFile(profilePath("mine.prf"), {QStringLiteral("OnSpeed=300")});
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=1"),
                                           QStringLiteral("Profile=") + profilePath("mine.prf")});
        const QString wrong = dir_->filePath(QStringLiteral("notes.prf"));
        QFile file(wrong);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Other]\r\nOnSpeed=1\r\nUseInches=1\r\n");
        file.close();
        auto f = createWindow();
        editFields(*f);
        const pyrolith::JobSettings edited = f->window->jobSettings();
        f->dialogs.openAnswers = {wrong};
        QTest::mouseClick(f->control<QPushButton>("btnLoadProfile"), Qt::LeftButton);
        QCOMPARE(f->dialogs.messages,
                 QStringList{QStringLiteral("'%1' is not a profile: it has no [Values] section")
                                 .arg(wrong)});
        QVERIFY(f->window->jobSettings() == edited);
        QCOMPARE(f->control<QLineEdit>("edtLaserOnCommand")->text(), QStringLiteral("M3 S1000"));
        QCOMPARE(f->control<QLabel>("lblXOffsetUnit")->text(), QStringLiteral("mm"));
        QVERIFY(f->modified());
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QStringLiteral("mine"));
        QCOMPARE(f->window->appSettings().Profile, profilePath("mine.prf").toStdString());
    }

    // The readers clear the marker at their end; the load sets the unit and its labels.
    void loadClearsMarkerAndAppliesUnit()
    {
        WriteSettingsFile(profilePath("inch.prf"),
                          {QStringLiteral("UseInches=1"), QStringLiteral("Optimize=0")});
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        f->imageLoaded = true;
        f->control<QCheckBox>("chkDoLeftCenter")->click();
        QTest::keyClicks(f->control<QLineEdit>("edtDwellTime3"), QStringLiteral("1"));
        f->window->loadProfile(profilePath("inch.prf"));
        QVERIFY(!f->modified());
        QCOMPARE(f->control<QLabel>("lblXOffsetUnit")->text(), QStringLiteral("in"));
        QCOMPARE(f->control<QGroupBox>("grpSpeeds")->title(), QStringLiteral("Speeds (in/min)"));
        // Neither raster button shows a false Optimize.
        QVERIFY(!f->control<QRadioButton>("rdoOptimized")->isChecked());
        QVERIFY(!f->control<QRadioButton>("rdoRasterX")->isChecked());
        QVERIFY(!f->window->jobSettings().Optimize);
        // The fields kept in no file stay as the user set them.
        QVERIFY(f->window->jobSettings().IndicateLeftCenter);
        QCOMPARE(f->window->jobSettings().LeftCenterDwellTime, std::string("50001"));
    }

    void exitPrompt_data()
    {
        QTest::addColumn<bool>("modify");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<QString>("saveAnswer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("profileWritten");

        QTest::newRow("not modified: no question") << false << true << "p.prf" << false << false;
        QTest::newRow("No") << true << false << "p.prf" << true << false;
        QTest::newRow("Yes, dialog cancelled") << true << true << "" << true << false;
        QTest::newRow("Yes, saved") << true << true << "p.prf" << true << true;
    }

    // The prompt comes only when modified; the settings file is written whatever the answer.
    void exitPrompt()
    {
        QFETCH(bool, modify);
        QFETCH(bool, answerYes);
        QFETCH(QString, saveAnswer);
        QFETCH(bool, asked);
        QFETCH(bool, profileWritten);

        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        if (modify) {
            f->control<QCheckBox>("chkHalfStepHeight")->click();
        }
        QVERIFY(QFile::remove(settingsPath()));
        f->dialogs.yesNoAnswers << answerYes;
        const QString profile = saveAnswer.isEmpty() ? QString() : profilesFolder() + saveAnswer;
        f->dialogs.saveAnswers << profile;
        f->window->finishRun();
        QCOMPARE(f->dialogs.questions,
                 asked ? QStringList{QStringLiteral("Save profile (<none loaded>)?")}
                       : QStringList());
        QCOMPARE(QFileInfo::exists(profile), profileWritten);
        QVERIFY(QFileInfo::exists(settingsPath()));
        QVERIFY(f->dialogs.messages.isEmpty());
        // The settings file names the profile when one was saved.
        auto next = createWindow();
        QCOMPARE(next->window->appSettings().Profile,
                 profileWritten ? profile.toStdString() : std::string());
    }

    // A long profile name is shortened on screen, never in the prompt or the dialogs.
    void longProfileName()
    {
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        f->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
        const int width = f->window->width();
        const QString name = QStringLiteral("engraver-with-a-very-long-name-for-plywood-3mm");
        f->dialogs.saveAnswers << profilesFolder() + name + QStringLiteral(".prf");
        f->window->saveProfileCommand();
        QCOMPARE(f->window->profileLabel(), name);
        auto* label = f->control<QLabel>("lblProfile");
        QVERIFY(label->text() != name);
        QCOMPARE(label->toolTip(), name);
        QTRY_COMPARE(f->window->width(), width);
        f->control<QCheckBox>("chkHalfStepHeight")->click();
        f->dialogs.yesNoAnswers << false;
        f->window->finishRun();
        QCOMPARE(f->dialogs.questions, QStringList{"Save profile (" + name + ")?"});
    }

    // A profile that cannot be written is reported and does not become current.
    void failedProfileSave()
    {
        WriteSettingsFile(settingsPath(), {QStringLiteral("AutoLoadProfile=0")});
        auto f = createWindow();
        f->control<QCheckBox>("chkHalfStepHeight")->click();
        const QString unwritable = dir_->filePath(QStringLiteral("missing/p.prf"));
        f->dialogs.saveAnswers << unwritable;
        f->window->saveProfileCommand();
        QCOMPARE(
            f->dialogs.messages,
            QStringList{
                QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(unwritable))});
        QVERIFY(f->modified());
        QCOMPARE(f->control<QLabel>("lblProfile")->text(), QStringLiteral("<none loaded>"));
        QCOMPARE(f->window->appSettings().Profile, std::string());
    }
};

QTEST_MAIN(ProfileTest)
#include "ProfileTest.moc"
