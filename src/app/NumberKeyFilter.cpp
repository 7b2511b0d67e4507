#include "app/NumberKeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <charconv>
#include <cstdint>

namespace {

const char* const kFilterProperty = "pyrolithKeyFilter";

constexpr char16_t kBackspace = 8;
constexpr char16_t kFullStop = u'.';
constexpr char16_t kLastCheckedCode = 255;

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The characters a filter checks; a character above code 255 never belongs to them, the
// user's separator included.
bool InCheckedSet(KeyFilterKind filter, QChar c, QChar decimalSeparator)
{
    if (c.unicode() > kLastCheckedCode) {
        return false;
    }
    if (IsDigit(c)) {
        return true;
    }
    switch (filter) {
    case KeyFilterKind::IntOnly:
        return false;
    case KeyFilterKind::IntOrFloatOnly:
        return c == decimalSeparator;
    case KeyFilterKind::IntOrFloatorNegOnly:
        return c == decimalSeparator || c == u'-';
    }
    return false;
}

// The character a key press types, or a null QChar for keys that type none. A control key
// combination types its control character (Ctrl+V is code 22), as the keyboard does on
// systems that deliver characters.
QChar TypedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
    const bool control = event.modifiers().testFlag(Qt::ControlModifier) &&
                         !event.modifiers().testFlag(Qt::AltModifier);
    if (control && key >= Qt::Key_A && key <= Qt::Key_Z) {
        return QChar(char16_t(key - Qt::Key_A + 1));
    }
    if (key == Qt::Key_Delete) {
        return {}; // deletes without typing a character
    }
    if (key == Qt::Key_Backspace) {
        return QChar(kBackspace);
    }
    const QString text = event.text();
    if (text.isEmpty()) {
        return {};
    }
    return text.front();
}

} // namespace

bool KeyFilterOf(pyrolith::FieldKind kind, KeyFilterKind& filter)
{
    switch (kind) {
    case pyrolith::FieldKind::Whole:
        filter = KeyFilterKind::IntOnly;
        return true;
    case pyrolith::FieldKind::Decimal:
        filter = KeyFilterKind::IntOrFloatOnly;
        return true;
    case pyrolith::FieldKind::SignedDecimal:
        filter = KeyFilterKind::IntOrFloatorNegOnly;
        return true;
    default:
        return false;
    }
}

QString KeyCandidate(const QString& current, QChar typed)
{
    return typed == u'-' ? QString(typed) + current : current + typed;
}

bool ReadsAsWholeNumber(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 127) {
            return false;
        }
    }
    const QByteArray latin = text.toLatin1();
    std::int32_t value = 0;
    const char* const first = latin.constData();
    const char* const last = first + latin.size();
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

bool KeyLetThrough(KeyFilterKind filter, const QString& current, QChar typed,
                   QChar decimalSeparator)
{
    if (InCheckedSet(filter, typed, decimalSeparator)) {
        return filter != KeyFilterKind::IntOnly || ReadsAsWholeNumber(KeyCandidate(current, typed));
    }
    return typed == QChar(kBackspace) || typed == QChar(kFullStop);
}

NumberKeyFilter::NumberKeyFilter(QChar decimalSeparator, std::function<void()> onLetThrough,
                                 QObject* parent)
    : QObject(parent), decimalSeparator_(decimalSeparator), onLetThrough_(std::move(onLetThrough))
{
}

void NumberKeyFilter::attach(QLineEdit* edit, KeyFilterKind filter)
{
    edit->setProperty(kFilterProperty, static_cast<int>(filter));
    edit->installEventFilter(this);
}

bool NumberKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr) {
        return false;
    }
    const auto& keyEvent = *static_cast<QKeyEvent*>(event);
    if (keyEvent.key() == Qt::Key_Tab || keyEvent.key() == Qt::Key_Backtab) {
        return false; // moves the focus, types nothing
    }
    const QChar typed = TypedCharacter(keyEvent);
    if (typed.isNull()) {
        return false;
    }
    const auto filter = static_cast<KeyFilterKind>(edit->property(kFilterProperty).toInt());
    if (!KeyLetThrough(filter, edit->text(), typed, decimalSeparator_)) {
        return true;
    }
    if (onLetThrough_) {
        onLetThrough_();
    }
    return false;
}
