// Quitting or disconnecting while a job streams to the machine asks first: Yes ends in the
// safe stop, No leaves the job running. Against a GRBL peer that takes 30 s a line, so the job
// runs for as long as the test needs it to.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "app/TfrmMachine.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"
#include "machine/FakeMachines.h"

Q_DECLARE_METATYPE(std::function<void(AppHarness&)>)

namespace {

using Action = std::function<void(AppHarness&)>;

const QString kQuit = QStringLiteral("A job is running on the machine. Stop it and quit?");
const QString kDisconnect =
    QStringLiteral("A job is running on the machine. Stop it and disconnect?");

TfrmMachine& Machine(AppHarness& app)
{
    return *app.main().findChild<TfrmMachine*>();
}

template <typename T> T* Control(AppHarness& app, const char* name)
{
    return Machine(app).findChild<T*>(QLatin1String(name));
}

bool Stopped(const std::vector<std::string>& log)
{
    return log.size() >= 2 && log[log.size() - 2] == "!" && log.back() == "^X";
}

} // namespace

class QuitQuestionTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(QApplication::overrideCursor(), nullptr); }

    void askedWhileAJobRuns_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("quits"); // the action closes the window rather than the port
        QTest::addColumn<bool>("sendJob");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("questions");

        const Action exit = [](AppHarness& app) { app.find<QAction>(QStringLiteral("Exit1"))->trigger(); };
        const Action ctrlQ = [](AppHarness& app) {
            QTest::keyClick(&app.main(), Qt::Key_Q, Qt::ControlModifier);
        };
        const Action closeBox = [](AppHarness& app) { app.main().close(); };
        const Action disconnect = [](AppHarness& app) {
            QTest::mouseClick(Control<QPushButton>(app, "btnConnect"), Qt::LeftButton);
        };
        QTest::newRow("File > Exit, No") << exit << true << true << false << QStringList{kQuit};
        QTest::newRow("File > Exit, Yes") << exit << true << true << true << QStringList{kQuit};
        QTest::newRow("Ctrl+Q, No") << ctrlQ << true << true << false << QStringList{kQuit};
        QTest::newRow("close box, Yes") << closeBox << true << true << true << QStringList{kQuit};
        QTest::newRow("Disconnect, No")
            << disconnect << false << true << false << QStringList{kDisconnect};
        QTest::newRow("Disconnect, Yes")
            << disconnect << false << true << true << QStringList{kDisconnect};
        QTest::newRow("no job: Exit asks nothing")
            << exit << true << false << false << QStringList{};
        QTest::newRow("no job: Disconnect asks nothing")
            << disconnect << false << false << false << QStringList{};
    }

    void askedWhileAJobRuns()
    {
        QFETCH(Action, action);
        QFETCH(bool, quits);
        QFETCH(bool, sendJob);
        QFETCH(bool, answer);
        QFETCH(QStringList, questions);

        pyrolith::testing::FakeGrbl grbl(true, std::chrono::seconds(30));
        AppHarness app;
        pyrolith::JobSettings settings;
        settings.GRBL = true;
        settings.UseInches = false;
        settings.LaserOnCommand = "S1000";
        settings.LaserOffCommand = "S0";
        app.writeSettingsFile(settings, {});
        app.start();
        app.main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&app.main()));
        const QString picture = app.path(QStringLiteral("dots.bmp"));
        WriteBmp24(picture, 8, 4, [](int x, int y) {
            return (x + y) % 2 == 0 ? QColor(Qt::black) : QColor(Qt::white);
        });
        app.dialogs.openAnswers.append(picture);
        app.main().Button1Click();
        app.find<QAction>(QStringLiteral("ShowMachine1"))->trigger();

        Control<QComboBox>(app, "cboPort")->setEditText(QString::fromStdString(grbl.port()));
        QTest::mouseClick(Control<QPushButton>(app, "btnConnect"), Qt::LeftButton);
        QTRY_COMPARE(Control<QLabel>(app, "lblState")->text(), QStringLiteral("Idle"));
        if (sendJob) {
            QTest::mouseClick(Control<QPushButton>(app, "btnSendJob"), Qt::LeftButton);
            QTRY_VERIFY(Machine(app).jobActive());
        }

        app.dialogs.yesNoAnswers.append(answer);
        action(app);
        QCOMPARE(app.dialogs.questions, questions);
        const bool stops = answer || !sendJob;
        if (quits) {
            QCOMPARE(app.main().isVisible(), !stops);
        } else {
            QCOMPARE(Control<QPushButton>(app, "btnConnect")->text(),
                     stops ? QStringLiteral("Connect") : QStringLiteral("Disconnect"));
        }
        if (sendJob && answer) {
            QTRY_VERIFY(Stopped(grbl.log()));
        } else if (sendJob) {
            // The job goes on: nothing was held or reset.
            QVERIFY(Machine(app).jobActive());
            for (const std::string& entry : grbl.log()) {
                QVERIFY(entry != "!" && entry != "^X");
            }
        }
        QCOMPARE(QString::fromStdString(grbl.failure()), QString());
    }
};

QTEST_MAIN(QuitQuestionTest)
#include "QuitQuestionTest.moc"
