// The Machine panel against a GRBL peer on a pseudo-terminal: a job streams to its end from the
// window, and every way of stopping ends in the feed hold and soft reset.
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/TfrmMachine.h"
#include "machine/FakeMachines.h"
#include "support/FakeDialogs.h"

Q_DECLARE_METATYPE(std::function<void(std::unique_ptr<TfrmMachine>&)>)

namespace {

using StopAction = std::function<void(std::unique_ptr<TfrmMachine>&)>;

std::vector<std::string> Job()
{
    std::vector<std::string> lines{"G21", "G90", "M3 S1000"};
    for (int i = 0; i < 400; ++i) {
        lines.push_back("G1 X" + std::to_string(i % 50) + " Y" + std::to_string(i / 50) + " F6000");
    }
    lines.push_back("M5");
    return lines;
}

std::unique_ptr<TfrmMachine> MakePanel(FakeDialogs& dialogs)
{
    TfrmMachine::Sources sources;
    sources.job = Job;
    sources.frame = [] { return std::vector<std::string>{"G1 X0 Y0", "M5"}; };
    sources.settings = [] {
        pyrolith::JobSettings settings;
        settings.GRBL = true;
        return settings;
    };
    return std::make_unique<TfrmMachine>(sources, &dialogs);
}

template <typename T>
T* Control(const std::unique_ptr<TfrmMachine>& panel, const char* name)
{
    return panel->findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

class MachinePanelTest : public QObject {
    Q_OBJECT

private slots:
    void streamsAndStops_data()
    {
        QTest::addColumn<StopAction>("stop");
        QTest::addColumn<bool>("finishes");
        QTest::newRow("to the end") << StopAction{} << true;
        QTest::newRow("Stop button") << StopAction{[](auto& panel) {
            QTest::mouseClick(Control<QPushButton>(panel, "btnStop"), Qt::LeftButton);
        }} << false;
        QTest::newRow("Escape key") << StopAction{[](auto& panel) {
            QTest::keyClick(panel.get(), Qt::Key_Escape);
        }} << false;
        QTest::newRow("window closed") << StopAction{[](auto& panel) { panel.reset(); }} << false;
    }

    void streamsAndStops()
    {
        QFETCH(StopAction, stop);
        QFETCH(bool, finishes);
        pyrolith::testing::FakeGrbl grbl(true, std::chrono::milliseconds(2));
        if (!finishes) {
            grbl.holdAfter(200);  // busy with a long move there: the stop comes before the end
        }
        FakeDialogs dialogs;
        auto panel = MakePanel(dialogs);
        panel->show();
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel.get()));

        Control<QComboBox>(panel, "cboPort")->setEditText(QString::fromStdString(grbl.port()));
        QTest::mouseClick(Control<QPushButton>(panel, "btnConnect"), Qt::LeftButton);
        QTRY_COMPARE(Control<QLabel>(panel, "lblState")->text(), QStringLiteral("Idle"));
        QSignalSpy progress(panel.get(), &TfrmMachine::jobProgress);
        QTest::mouseClick(Control<QPushButton>(panel, "btnSendJob"), Qt::LeftButton);
        auto* memo = Control<QPlainTextEdit>(panel, "memoLog");
        if (finishes) {
            QTRY_VERIFY_WITH_TIMEOUT(memo->toPlainText().endsWith(
                                         "Job finished: the controller took every line and is idle."),
                                     10000);
            QCOMPARE(Control<QProgressBar>(panel, "prgLines")->value(), 1000);
            QCOMPARE(Control<QProgressBar>(panel, "prgTime")->value(), 1000);
            QCOMPARE(Control<QLabel>(panel, "lblRemaining")->text(), QStringLiteral("Remaining 0:00:00"));
            QVERIFY(Control<QPushButton>(panel, "btnSendJob")->isEnabled());
            QCOMPARE(grbl.log().size(), Job().size());
            QCOMPARE(progress.constLast().at(0).toLongLong(), static_cast<qint64>(Job().size()));
            // The frame is not the job the Job view marks.
            const auto emitted = progress.count();
            QTest::mouseClick(Control<QPushButton>(panel, "btnFrame"), Qt::LeftButton);
            QTRY_COMPARE(memo->toPlainText().count(QStringLiteral("Job finished")), 2);
            QCOMPARE(progress.count(), emitted);
        } else {
            QTRY_VERIFY(Control<QProgressBar>(panel, "prgLines")->value() > 300);
            const QString folder = qEnvironmentVariable("PYROLITH_SCREENSHOT_DIR");
            if (!folder.isEmpty() && QTest::currentDataTag() == QByteArray("Stop button")) {
                QVERIFY(panel->grab().save(QDir(folder).filePath("machine-panel.png")));
            }
            stop(panel);
            QTRY_VERIFY(grbl.log().size() >= 2 && grbl.log().back() == "^X");
            QCOMPARE(grbl.log()[grbl.log().size() - 2], std::string("!"));
            if (panel) {
                QTRY_VERIFY(memo->toPlainText().endsWith(
                    "Stopped: feed hold, then soft reset; the laser is off."));
            }
        }
        QCOMPARE(QString::fromStdString(grbl.failure()), QString());
    }
};

QTEST_MAIN(MachinePanelTest)
#include "MachinePanelTest.moc"
