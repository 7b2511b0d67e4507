#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "settings/SettingsFields.h"

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

// Installed on the number fields of the settings window: drops the refused characters
// before the field sees them and calls onLetThrough for each one it lets through. Keys that
// type no character (arrows, Delete, Home, Tab) are left alone.
class NumberKeyFilter : public QObject {
    Q_OBJECT
public:
    NumberKeyFilter(QChar decimalSeparator, std::function<void()> onLetThrough,
                    QObject* parent = nullptr);

    // Filters the line edit with the given filter.
    void attach(class QLineEdit* edit, KeyFilterKind filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QChar decimalSeparator_;
    std::function<void()> onLetThrough_;
};
