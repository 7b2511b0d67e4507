// The key filters of the number fields, driven by real key presses.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QToolTip>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "app/NumberKeyFilter.h"
#include "support/SettingsWindowSupport.h"

class KeyFilterTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    SettingsWindowFixture fixture_;

    // A window with the given decimal separator and no profile loaded.
    void createWindow(QChar separator)
    {
        const QString settings = dir_.filePath(QStringLiteral("Pyrolith.ini"));
        WriteSettingsFile(settings, {QStringLiteral("AutoLoadProfile=0")});
        fixture_.window.reset();
        fixture_.create(settings, dir_.path() + u'/', separator);
        fixture_.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(fixture_.window.get()));
    }

    // The field holding text with the caret at caret (-1: at the end) and a clean marker.
    QLineEdit* prepareField(const char* name, const QString& text, int caret)
    {
        auto* edit = fixture_.control<QLineEdit>(name);
        edit->setText(text);
        edit->setCursorPosition(caret < 0 ? int(text.size()) : caret);
        fixture_.window->loadProfile(dir_.filePath(QStringLiteral("none.prf")));
        // Loading rewrote the field from the profile; put the text back without typing.
        edit->setText(text);
        edit->setCursorPosition(caret < 0 ? int(text.size()) : caret);
        return edit;
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void typedCharacters_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("modified");

        const QChar dot = u'.';
        const QChar comma = u',';
        // IntOnly: the candidate is the text with the digit appended.
        QTest::newRow("whole: digit appended") << "edtDwellTime" << dot << "500" << -1 << "0"
                                               << "5000" << true;
        QTest::newRow("whole: empty field") << "edtDwellTime2" << dot << "" << -1 << "7"
                                            << "7" << true;
        QTest::newRow("whole: caret before the text, checked as appended")
            << "edtDwellTime" << dot << "500" << 0 << "9"
            << "9500" << true;
        QTest::newRow("whole: largest 32-bit number")
            << "edtDwellTime" << dot << "214748364" << -1 << "7"
            << "2147483647" << true;
        QTest::newRow("whole: one more is refused")
            << "edtDwellTime" << dot << "214748364" << -1 << "8"
            << "214748364" << false;
        QTest::newRow("whole: ten digits typed, the rest refused")
            << "edtDwellTime3" << dot << "" << -1 << "99999999999"
            << "999999999" << true;
        QTest::newRow("whole: middle digit judged at the end")
            << "edtDwellTime" << dot << "100000000" << 0 << "3"
            << "3100000000" << true;
        QTest::newRow("whole: then nothing fits")
            << "edtDwellTime" << dot << "3100000000" << -1 << "1"
            << "3100000000" << false;
        QTest::newRow("whole: letters dropped") << "edtDwellTime" << dot << "12" << -1 << "aZ+ e"
                                                << "12" << false;
        QTest::newRow("whole: minus dropped") << "edtDwellTime2" << dot << "12" << -1 << "-"
                                              << "12" << false;
        QTest::newRow("whole: full stop passes, digits no more")
            << "edtDwellTime" << dot << "12" << -1 << ".5"
            << "12." << true;
        QTest::newRow("whole: comma separator is no digit")
            << "edtDwellTime" << comma << "12" << -1 << ","
            << "12" << false;
        QTest::newRow("whole: full stop with comma separator")
            << "edtDwellTime" << comma << "12" << -1 << "."
            << "12." << true;
        // IntOrFloatOnly: digits and the separator always pass, "." passes anyway.
        QTest::newRow("decimal: second full stop") << "edtDperPixel" << dot << "0.1" << -1 << "."
                                                   << "0.1." << true;
        QTest::newRow("decimal: comma separator") << "edtDperPixel" << comma << "0" << -1 << ",25"
                                                  << "0,25" << true;
        QTest::newRow("decimal: full stop with comma separator")
            << "edtDperPixel" << comma << "0" << -1 << ".5"
            << "0.5" << true;
        QTest::newRow("decimal: comma not the separator")
            << "edtOffSpeed" << dot << "15" << -1 << ","
            << "15" << false;
        QTest::newRow("decimal: minus dropped") << "edtBacklash" << dot << "1" << -1 << "-"
                                                << "1" << false;
        QTest::newRow("decimal: letters and blanks dropped")
            << "edtStartHeight" << dot << "20" << -1 << "e x"
            << "20" << false;
        QTest::newRow("decimal: digit in the middle") << "edtZSpeed" << dot << "200" << 1 << "5"
                                                      << "2500" << true;
        // IntOrFloatorNegOnly: "-" passes wherever the caret stands.
        QTest::newRow("signed: minus into empty field") << "edtXOffset" << dot << "" << -1 << "-"
                                                        << "-" << true;
        QTest::newRow("signed: minus at the caret") << "edtXOffset" << dot << "5" << -1 << "-"
                                                    << "5-" << true;
        QTest::newRow("signed: second minus") << "edtYOffset" << dot << "-5" << 0 << "-"
                                              << "--5" << true;
        QTest::newRow("signed: separator comma") << "edtYOffset" << comma << "-5" << -1 << ",5"
                                                 << "-5,5" << true;
        QTest::newRow("signed: letters dropped") << "edtXOffset" << dot << "1" << -1 << "x+"
                                                 << "1" << false;
    }

    void typedCharacters()
    {
        QFETCH(QString, field);
        QFETCH(QChar, separator);
        QFETCH(QString, start);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(bool, modified);

        createWindow(separator);
        QLineEdit* edit = prepareField(qPrintable(field), start, caret);
        QVERIFY(!fixture_.modified());
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), expected);
        QCOMPARE(fixture_.modified(), modified);
    }

    void controlKeys_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("modified");

        const int none = Qt::NoModifier;
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("backspace")
            << "edtDwellTime" << int(Qt::Key_Backspace) << none << "50" << true;
        QTest::newRow("backspace in signed field")
            << "edtXOffset" << int(Qt::Key_Backspace) << none << "50" << true;
        QTest::newRow("enter dropped")
            << "edtDwellTime" << int(Qt::Key_Return) << none << "500" << false;
        QTest::newRow("escape dropped")
            << "edtDperPixel" << int(Qt::Key_Escape) << none << "500" << false;
        QTest::newRow("paste shortcut pastes the digits")
            << "edtDwellTime" << int(Qt::Key_V) << ctrl << "500123" << true;
        QTest::newRow("cut shortcut does nothing")
            << "edtOnSpeed" << int(Qt::Key_X) << ctrl << "500" << false;
        QTest::newRow("delete types no character")
            << "edtDwellTime" << int(Qt::Key_Delete) << none << "50" << false;
        QTest::newRow("arrow types no character")
            << "edtXOffset" << int(Qt::Key_Left) << none << "500" << false;
    }

    // Keys that are no digit: the caret stands at the end, the clipboard holds "123".
    void controlKeys()
    {
        QFETCH(QString, field);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, expected);
        QFETCH(bool, modified);

        createWindow(u'.');
        QGuiApplication::clipboard()->setText(QStringLiteral("123"));
        QLineEdit* edit = prepareField(qPrintable(field), QStringLiteral("500"), -1);
        if (key == Qt::Key_Delete) {
            edit->setCursorPosition(2);
        }
        QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(edit->text(), expected);
        QCOMPARE(fixture_.modified(), modified);
    }

    // Shortcuts edit a number field as they edit every field; only typed characters are
    // filtered. Each row starts from "1500" with the caret at the end.
    void editingShortcuts_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QList<QKeySequence>>("keys");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("clipboard");

        const QKeySequence all(QKeySequence::SelectAll);
        QTest::newRow("select all, then type over it")
            << "edtOffSpeed" << QList<QKeySequence>{all} << "3000" << "3000" << "";
        QTest::newRow("select all in a whole-number field")
            << "edtDwellTime" << QList<QKeySequence>{all} << "250" << "250" << "";
        QTest::newRow("copy") << "edtOffSpeed"
                              << QList<QKeySequence>{all, QKeySequence(QKeySequence::Copy)} << ""
                              << "1500" << "1500";
        QTest::newRow("cut") << "edtOnSpeed"
                             << QList<QKeySequence>{all, QKeySequence(QKeySequence::Cut)} << ""
                             << "" << "1500";
        QTest::newRow("undo the typing")
            << "edtXOffset" << QList<QKeySequence>{QKeySequence(QKeySequence::Undo)} << ""
            << "" << "";
    }

    void editingShortcuts()
    {
        QFETCH(QString, field);
        QFETCH(QList<QKeySequence>, keys);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(QString, clipboard);

        createWindow(u'.');
        QGuiApplication::clipboard()->clear();
        auto* edit = fixture_.control<QLineEdit>(qPrintable(field));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1500"));
        for (const QKeySequence& key : keys) {
            QTest::keySequence(edit, key);
        }
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), expected);
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    // A pasted text keeps the characters the field's filter lets through, in place of the
    // selection when there is one, and counts as typed.
    void pasteKeepsWhatTheFilterLetsThrough_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");

        QTest::newRow("speed with a unit and a thousands comma")
            << "edtOffSpeed" << "" << false << "1,500 mm/min" << "1500";
        QTest::newRow("over the selection") << "edtOffSpeed" << "1500" << true << "3000\n"
                                            << "3000";
        QTest::newRow("appended at the caret") << "edtDperPixel" << "0" << false << ".25"
                                               << "0.25";
        QTest::newRow("signed offset") << "edtXOffset" << "" << false << "-12.5 mm" << "-12.5";
        QTest::newRow("whole number: no minus, no fraction")
            << "edtDwellTime" << "" << false << "-350 ms" << "350";
        QTest::newRow("whole number: digits past the largest dropped")
            << "edtDwellTime" << "" << false << "99999999999" << "999999999";
        QTest::newRow("nothing of it") << "edtZSpeed" << "200" << false << "fast" << "200";
    }

    void pasteKeepsWhatTheFilterLetsThrough()
    {
        QFETCH(QString, field);
        QFETCH(QString, start);
        QFETCH(bool, selectAll);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);

        for (const QKeySequence& paste :
             {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}) {
            createWindow(u'.');
            QLineEdit* edit = prepareField(qPrintable(field), start, -1);
            if (selectAll) {
                edit->selectAll();
            }
            QGuiApplication::clipboard()->setText(pasted);
            QTest::keySequence(edit, paste);
            QCOMPARE(edit->text(), expected);
            QCOMPARE(fixture_.modified(), expected != start);
        }
    }

    // The field's own menu pastes the same way.
    void menuPasteIsFiltered()
    {
        createWindow(u'.');
        QLineEdit* edit = prepareField("edtOnSpeed", QString(), -1);
        QGuiApplication::clipboard()->setText(QStringLiteral("F 600;"));
        bool pasted = false;
        QTimer::singleShot(0, this, [&pasted] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
                    paste->trigger();
                    pasted = true;
                }
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                edit->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(edit, &event);
        QVERIFY(pasted);
        QCOMPARE(edit->text(), QStringLiteral("600"));
        QVERIFY(fixture_.modified());
    }

    // A "," refused where the separator is "." shows the hint under a decimal field, once per
    // edit of the field.
    void commaShowsTheSeparatorHint_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("hint");

        const QString hint = QStringLiteral("Use '.' as the decimal separator");
        QTest::newRow("distance per pixel") << "edtDperPixel" << QChar(u'.') << "0,1" << "01"
                                            << hint;
        QTest::newRow("signed offset") << "edtYOffset" << QChar(u'.') << "-2,5" << "-25" << hint;
        QTest::newRow("whole number: no hint") << "edtDwellTime" << QChar(u'.') << "5,0" << "50"
                                               << QString();
        QTest::newRow("comma separator: let through") << "edtDperPixel" << QChar(u',') << "0,1"
                                                      << "0,1" << QString();
        QTest::newRow("letters: no hint") << "edtOffSpeed" << QChar(u'.') << "1x5" << "15"
                                          << QString();
    }

    void commaShowsTheSeparatorHint()
    {
        QFETCH(QString, field);
        QFETCH(QChar, separator);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(QString, hint);

        createWindow(separator);
        fixture_.window->activateWindow(); // focus changes reach the fields
        QVERIFY(QTest::qWaitForWindowActive(fixture_.window.get()));
        QToolTip::hideText(); // a hint hides after a short delay
        QTRY_VERIFY(!QToolTip::isVisible());
        QLineEdit* edit = prepareField(qPrintable(field), QString(), -1);
        edit->setFocus();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), expected);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), hint);
        if (hint.isEmpty()) {
            return;
        }
        // Once per edit: another "," says nothing until the field is left and edited again.
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        QTest::keyClicks(edit, QStringLiteral(","));
        QVERIFY(!QToolTip::isVisible());
        fixture_.control<QLineEdit>("edtHomeCommand")->setFocus();
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral(","));
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), hint);
        QToolTip::hideText();
    }

    // The same paste shortcut works in a field without a filter, so the clipboard is real.
    void pasteShortcutWorksInCommandField()
    {
        createWindow(u'.');
        QGuiApplication::clipboard()->setText(QStringLiteral("123"));
        auto* edit = fixture_.control<QLineEdit>("edtHomeCommand");
        edit->clear();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QStringLiteral("123"));
    }

    void backspaceOnEmptyFieldMarksModified()
    {
        createWindow(u'.');
        QLineEdit* edit = prepareField("edtNumReps", QString(), -1);
        edit->setEnabled(true); // the Cut page is disabled; the filter is the same
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString());
        QVERIFY(fixture_.modified());
    }

    // A separator above code 255 never belongs to a checked set; Latin-1 letters neither.
    void charactersAbove255_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QChar>("typed");
        QTest::addColumn<bool>("letThrough");

        QTest::newRow("arabic separator") << QChar(0x066B) << QChar(0x066B) << false;
        QTest::newRow("arabic digit") << QChar(u'.') << QChar(0x0663) << false;
        QTest::newRow("latin-1 letter") << QChar(u'.') << QChar(0x00E9) << false;
        QTest::newRow("latin-1 separator") << QChar(0x00B7) << QChar(0x00B7) << true;
    }

    void charactersAbove255()
    {
        QFETCH(QChar, separator);
        QFETCH(QChar, typed);
        QFETCH(bool, letThrough);

        createWindow(separator);
        QLineEdit* edit = prepareField("edtDperPixel", QStringLiteral("1"), -1);
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(typed), Qt::NoModifier);
        QCOMPARE(edit->text(), letThrough ? QStringLiteral("1") + typed : QStringLiteral("1"));
        QCOMPARE(fixture_.modified(), letThrough);
    }

    void candidateText()
    {
        QCOMPARE(KeyCandidate(QStringLiteral("12"), u'3'), QStringLiteral("123"));
        QCOMPARE(KeyCandidate(QStringLiteral("12"), u'-'), QStringLiteral("-12"));
        QVERIFY(ReadsAsWholeNumber(QStringLiteral("-2147483648")));
        QVERIFY(!ReadsAsWholeNumber(QStringLiteral("-2147483649")));
        QVERIFY(!ReadsAsWholeNumber(QStringLiteral("1.")));
        QVERIFY(!ReadsAsWholeNumber(QString()));
    }
};

QTEST_MAIN(KeyFilterTest)
#include "KeyFilterTest.moc"
