// What the main window remembers from one run to the next.
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QTest>

#include "app/TJobView.h"
#include "app/support/AppHarness.h"

class WindowMemoryTest : public QObject {
    Q_OBJECT
private slots:
    void sizePanelAndTravelComeBack_data();
    void sizePanelAndTravelComeBack();
};

void WindowMemoryTest::sizePanelAndTravelComeBack_data()
{
    QTest::addColumn<bool>("panel");
    QTest::addColumn<bool>("travel");
    QTest::newRow("panel open, laser-off moves shown") << true << true;
    QTest::newRow("panel closed, laser-off moves hidden") << false << false;
}

void WindowMemoryTest::sizePanelAndTravelComeBack()
{
    QFETCH(bool, panel);
    QFETCH(bool, travel);
    AppHarness app;
    app.start();
    // At the first start the laser-off moves are hidden and the panel closed.
    auto* showTravel = app.main().jobView()->findChild<QCheckBox*>(QStringLiteral("chkShowTravel"));
    QVERIFY(!showTravel->isChecked());
    QVERIFY(!app.find<QDockWidget>(QStringLiteral("dockMachine"))->isVisible());
    if (travel) {
        showTravel->click();
    }
    app.find<QDockWidget>(QStringLiteral("dockMachine"))->setVisible(panel);
    app.main().resize(700 + (panel ? 100 : 0), 520);
    QApplication::processEvents();
    const QSize size = app.main().size();
    app.main().close();

    app.start();
    QApplication::processEvents();
    QCOMPARE(app.main().size(), size);
    QCOMPARE(app.find<QDockWidget>(QStringLiteral("dockMachine"))->isVisible(), panel);
    QCOMPARE(app.main().jobView()->findChild<QCheckBox*>(QStringLiteral("chkShowTravel"))
                 ->isChecked(),
             travel);
}

QTEST_MAIN(WindowMemoryTest)
#include "WindowMemoryTest.moc"
