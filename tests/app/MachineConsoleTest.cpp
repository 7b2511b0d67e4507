// The Machine panel's console and states against a GRBL peer on a pseudo-terminal, and the
// console's reading of the traffic.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QComboBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "app/MachineConsole.h"
#include "app/TfrmMachine.h"
#include "machine/FakeMachines.h"
#include "support/FakeDialogs.h"

namespace {

std::vector<std::string> LongJob()
{
    std::vector<std::string> lines{"G21", "G90", "M3 S1000"};
    for (int i = 0; i < 3000; ++i) {
        lines.push_back("G1 X" + std::to_string(i % 50) + " F6000");
    }
    lines.push_back("M5");
    return lines;
}

struct Panel {
    FakeDialogs dialogs;
    std::unique_ptr<TfrmMachine> window;
    QStringList settingsSet; // "key=text" as the panel set them

    explicit Panel(const std::string& port)
    {
        TfrmMachine::Sources sources;
        sources.job = LongJob;
        sources.frame = [] { return std::vector<std::string>{"G1 X0 Y0", "M5"}; };
        sources.settings = [] {
            pyrolith::JobSettings settings;
            settings.GRBL = true;
            settings.TraceSpeed = "600"; // the default unit: inches
            return settings;
        };
        sources.clock = [] { return QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 120)); };
        sources.setSetting = [this](const QString& key, const QString& text) {
            settingsSet.append(key + QLatin1Char('=') + text);
            return key != QLatin1String("LaserMode");  // one the settings do not take
        };
        window = std::make_unique<TfrmMachine>(sources, &dialogs);
        window->show();
        control<QComboBox>("cboPort")->setEditText(QString::fromStdString(port));
    }
    template <typename T> T* control(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QString console() const { return control<QPlainTextEdit>("memoConsole")->toPlainText(); }
};

} // namespace

class MachineConsoleTest : public QObject {
    Q_OBJECT
private slots:
    void traffic_data();
    void traffic();
    void lineSentAndAnswered();
    void settingsTabReadsTheSettingsOnce();
    void noLineWhileAJobStreams();
    void noAnswer();
};

void MachineConsoleTest::traffic_data()
{
    QTest::addColumn<QByteArrayList>("sent");      // pieces as the port hands them over
    QTest::addColumn<QByteArrayList>("received");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("lines split anywhere")
        << QByteArrayList{"G2", "8\nM1", "14\n"} << QByteArrayList{"o", "k\r\nX:0.00 Y", ":0\r\n"}
        << QStringList{"> G28", "> M114", "< ok", "< X:0.00 Y:0"};
    QTest::newRow("status queries and reports go to the state line")
        << QByteArrayList{"?", "?$H\n"} << QByteArrayList{"<Idle|MPos:0.000,0.000,0.000>\r\nok\r\n"}
        << QStringList{"> $H", "< ok"};
    QTest::newRow("real-time bytes named")
        << QByteArrayList{"!", QByteArray(1, '\x18')} << QByteArrayList{}
        << QStringList{"> ! (feed hold)", "> Ctrl-X (soft reset)"};
}

void MachineConsoleTest::traffic()
{
    QFETCH(QByteArrayList, sent);
    QFETCH(QByteArrayList, received);
    QFETCH(QStringList, lines);
    ConsoleTraffic traffic;
    QStringList shown;
    for (const QByteArray& piece : sent) {
        shown += traffic.sent(std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())));
    }
    for (const QByteArray& piece : received) {
        shown += traffic.received(
            std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())));
    }
    QCOMPARE(shown, lines);
}

// GRBL's settings tab asks for them ($$) when it is shown to a connected machine, once per
// connection (shown again, it asks no more); "Use for the estimate" hands the estimate's
// numbers among them to the settings.
void MachineConsoleTest::settingsTabReadsTheSettingsOnce()
{
    pyrolith::testing::FakeGrbl grbl(true);
    Panel panel(grbl.port());
    auto* tabs = panel.control<QTabWidget>("tabLog");
    tabs->setCurrentIndex(2);
    QTest::mouseClick(panel.control<QPushButton>("btnConnect"), Qt::LeftButton);
    QTRY_COMPARE(panel.control<QLabel>("lblState")->text(), QStringLiteral("Idle"));
    QTRY_VERIFY(!grbl.log().empty() && grbl.log().back() == "$$");
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(2);
    // A line of the console after it: a second $$ would have come before it.
    auto* line = panel.control<QLineEdit>("edtConsoleLine");
    QTest::keyClicks(line, QStringLiteral("G28"));
    QTest::keyClick(line, Qt::Key_Return);
    QTRY_VERIFY(grbl.log().back() == "G28");
    const std::vector<std::string> log = grbl.log();
    QCOMPARE(std::count(log.begin(), log.end(), std::string("$$")), 1);

    auto* use = panel.control<QPushButton>("btnUseGrblSettings");
    // The machine has answered; the window shows the answer once the link thread hands it over.
    QTRY_COMPARE(panel.control<QTableWidget>("tblGrblSettings")->rowCount(), 34);
    QVERIFY(use->isEnabled());
    QTest::mouseClick(use, Qt::LeftButton);
    QCOMPARE(panel.settingsSet,
             (QStringList{"StepperIdleLock=25", "JunctionDeviation=0.01", "LaserMode=0",
                          "MaxRateX=500", "MaxRateY=500", "AccelX=10", "AccelY=10"}));
    // The settings are in their tab, not among the messages.
    const QString messages = panel.control<QPlainTextEdit>("memoLog")->toPlainText();
    QVERIFY(!messages.contains(QStringLiteral("$110=")));
    QVERIFY(messages.endsWith("The estimate now uses the machine's $1, $11, $110, $111, $120 and $121."));
}

// A line typed into the console reaches the machine; the console shows it and the answer
// with the time, and the arrow keys jog while the panel has the focus.
void MachineConsoleTest::lineSentAndAnswered()
{
    pyrolith::testing::FakeGrbl grbl(true);
    Panel panel(grbl.port());
    QCOMPARE(panel.control<QProgressBar>("prgLines")->text(), QStringLiteral("Lines 0.0%"));
    QTest::mouseClick(panel.control<QPushButton>("btnConnect"), Qt::LeftButton);
    QTRY_COMPARE(panel.control<QLabel>("lblState")->text(), QStringLiteral("Idle"));
    QCOMPARE(panel.control<QPushButton>("btnConnect")->text(), QStringLiteral("Disconnect"));
    auto* line = panel.control<QLineEdit>("edtConsoleLine");
    QVERIFY(line->isEnabled());
    QTest::keyClicks(line, QStringLiteral("G28"));
    QTest::keyClick(line, Qt::Key_Return);
    QTRY_VERIFY(panel.console().contains(QStringLiteral("09:26:53.120 > G28\n09:26:53.120 < ok")));
    QCOMPARE(line->text(), QString());
    QVERIFY(!panel.console().contains(QLatin1Char('<') + QStringLiteral("Idle")));
    QCOMPARE(grbl.log().back(), std::string("G28"));

    panel.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(panel.window.get()));
    panel.control<QPushButton>("btnHome")->setFocus();
    QTest::keyClick(panel.control<QPushButton>("btnHome"), Qt::Key_Left);
    QTest::keyClick(panel.control<QPushButton>("btnHome"), Qt::Key_PageUp);
    QTRY_COMPARE(grbl.log().size(), std::size_t{3});
    QCOMPARE(QString::fromStdString(grbl.log()[1]), QStringLiteral("$J=G91G20X-0.1F600"));
    QCOMPARE(QString::fromStdString(grbl.log()[2]), QStringLiteral("$J=G91G20Z0.1F600"));
    QCOMPARE(QString::fromStdString(grbl.failure()), QString());
}

// While a job streams no line can be sent: the field is off, and a line pressed through
// anyway is refused with a message, not sent.
void MachineConsoleTest::noLineWhileAJobStreams()
{
    pyrolith::testing::FakeGrbl grbl(true, std::chrono::milliseconds(2));
    Panel panel(grbl.port());
    QTest::mouseClick(panel.control<QPushButton>("btnConnect"), Qt::LeftButton);
    QTRY_COMPARE(panel.control<QLabel>("lblState")->text(), QStringLiteral("Idle"));
    QTest::mouseClick(panel.control<QPushButton>("btnSendJob"), Qt::LeftButton);
    QTRY_VERIFY(panel.window->jobActive());
    auto* line = panel.control<QLineEdit>("edtConsoleLine");
    QVERIFY(!line->isEnabled());
    line->setText(QStringLiteral("M106 S10"));
    panel.window->btnConsoleSendClick();
    QCOMPARE(panel.dialogs.warnings.size(), 1);
    QTest::mouseClick(panel.control<QPushButton>("btnStop"), Qt::LeftButton);
    QTRY_VERIFY(!panel.window->jobActive());
    for (const std::string& sent : grbl.log()) {
        QVERIFY(sent != "M106 S10");
    }
    // A stopped job has no remaining time; the share of lines shows its tenths.
    QCOMPARE(panel.control<QLabel>("lblRemaining")->text(), QString());
    QVERIFY(panel.control<QProgressBar>("prgLines")->text().contains(QLatin1Char('.')));
}

void MachineConsoleTest::noAnswer()
{
    pyrolith::testing::FakeGrbl grbl(false);
    grbl.silenceAfter(0);
    Panel panel(grbl.port());
    panel.window->setNoAnswerTimeout(300);
    QTest::mouseClick(panel.control<QPushButton>("btnConnect"), Qt::LeftButton);
    QCOMPARE(panel.control<QLabel>("lblState")->text(), QStringLiteral("Connecting..."));
    QCOMPARE(panel.control<QPushButton>("btnConnect")->text(), QStringLiteral("Cancel"));
    QTRY_COMPARE_WITH_TIMEOUT(panel.dialogs.warnings.size(), 1, 10000);
    QCOMPARE(panel.dialogs.warnings[0],
             QStringLiteral("No answer on %1 at 115200 baud. Check the cable, the port, the speed "
                            "and that the machine is switched on.")
                 .arg(QString::fromStdString(grbl.port())));
    QCOMPARE(panel.control<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
    QVERIFY(!panel.window->connected());
}

QTEST_MAIN(MachineConsoleTest)
#include "MachineConsoleTest.moc"
