#pragma once

#include <QClipboard>
#include <QObject>
#include <QString>
#include <functional>

#include "settings/SettingsFields.h"

class QKeyEvent;
class QLineEdit;
class QPoint;

// The three key filters of the number fields. A key is judged by the character it types:
// the candidate text is the field's text with that character appended at its end, whatever
// the caret position or selection ("-" goes in front instead).
enum class KeyFilterKind {
    IntOnly,             // digits; the candidate must read as a 32-bit whole number
    IntOrFloatOnly,      // digits and the decimal separator, never refused
    IntOrFloatorNegOnly, // digits, the decimal separator and "-", never refused
};

// The filter of a field kind; false for the kinds that take any text.
bool KeyFilterOf(pyrolith::FieldKind kind, KeyFilterKind& filter);

// The candidate text for a character typed into a field holding current.
QString KeyCandidate(const QString& current, QChar typed);

// True when the text reads as a whole number from -2147483648 to 2147483647.
bool ReadsAsWholeNumber(const QString& text);

// Whether a typed character reaches the field. Every character let through also marks the
// profile modified.
bool KeyLetThrough(KeyFilterKind filter, const QString& current, QChar typed,
                   QChar decimalSeparator);

// What a paste into a field holding `current` keeps of `pasted`: the characters the filter
// would let through typed one after the other (control characters never).
QString KeptOfPaste(KeyFilterKind filter, const QString& current, const QString& pasted,
                    QChar decimalSeparator);

// "Use '.' as the decimal separator": the hint a refused "," shows.
QString SeparatorHint(QChar decimalSeparator);

// Installed on the number fields of the settings window: drops the refused characters
// before the field sees them and calls onLetThrough for each one it lets through. Keys that
// type no character (arrows, Delete, Home, Tab) and shortcuts (select all, copy, cut, undo)
// are left alone. A paste (its key, the field's menu, the middle button, a drop) keeps only
// the characters the filter lets through and counts as typed. A "," refused in a decimal
// field where the separator is "." shows SeparatorHint() under the field for a moment, once
// until the field loses the focus.
class NumberKeyFilter : public QObject {
    Q_OBJECT
public:
    NumberKeyFilter(QChar decimalSeparator, std::function<void()> onLetThrough,
                    QObject* parent = nullptr);

    // Filters the line edit with the given filter.
    void attach(QLineEdit* edit, KeyFilterKind filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyPress(QLineEdit* edit, const QKeyEvent& event);
    static KeyFilterKind filterOf(const QLineEdit* edit);
    void paste(QLineEdit* edit, QClipboard::Mode mode);
    void insertFiltered(QLineEdit* edit, const QString& text);
    void showContextMenu(QLineEdit* edit, const QPoint& globalPosition);

    QChar decimalSeparator_;
    std::function<void()> onLetThrough_;
};
