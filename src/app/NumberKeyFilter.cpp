#include "app/NumberKeyFilter.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolTip>
#include <charconv>
#include <cstdint>
#include <functional>

namespace {

const char* const kFilterProperty = "pyrolithKeyFilter";
const char* const kHintShownProperty = "pyrolithSeparatorHintShown";
constexpr int kHintMilliseconds = 2500;

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

// A shortcut (Ctrl+A, Ctrl+C, Ctrl+Z...) types no character: the field handles it as every
// field does. Ctrl together with Alt is AltGr on many keyboards, which types characters.
bool IsShortcut(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    return (modifiers.testFlag(Qt::ControlModifier) || modifiers.testFlag(Qt::MetaModifier)) &&
           !modifiers.testFlag(Qt::AltModifier);
}

// The character a key press types, or a null QChar for keys that type none.
QChar TypedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
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

QString KeptOfPaste(KeyFilterKind filter, const QString& current, const QString& pasted,
                   QChar decimalSeparator)
{
    QString kept;
    for (const QChar c : pasted) {
        // Line breaks and other control characters of a copied text are no part of a number.
        if (c.unicode() >= 32 && KeyLetThrough(filter, current + kept, c, decimalSeparator)) {
            kept += c;
        }
    }
    return kept;
}

bool NumberKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr) {
        return false;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
        return keyPress(edit, *static_cast<QKeyEvent*>(event));
    case QEvent::FocusOut:
        edit->setProperty(kHintShownProperty, false); // the next edit of the field may hint again
        return false;
    case QEvent::ContextMenu:
        showContextMenu(edit, static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::MouseButtonRelease: {
        // The middle button pastes the selection where the desktop has one.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton &&
            QGuiApplication::clipboard()->supportsSelection() && !edit->isReadOnly()) {
            edit->setCursorPosition(edit->cursorPositionAt(mouse->position().toPoint()));
            paste(edit, QClipboard::Selection);
            return true;
        }
        return false;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->mimeData()->hasText() && !edit->isReadOnly()) {
            edit->setCursorPosition(edit->cursorPositionAt(drop->position().toPoint()));
            insertFiltered(edit, drop->mimeData()->text());
            drop->acceptProposedAction();
        }
        return true;
    }
    default:
        return false;
    }
}

bool NumberKeyFilter::keyPress(QLineEdit* edit, const QKeyEvent& keyEvent)
{
    if (keyEvent.matches(QKeySequence::Paste)) {
        paste(edit, QClipboard::Clipboard);
        return true;
    }
    if (IsShortcut(keyEvent) || keyEvent.key() == Qt::Key_Tab ||
        keyEvent.key() == Qt::Key_Backtab) {
        return false; // select all, copy, cut, undo...; Tab moves the focus
    }
    const QChar typed = TypedCharacter(keyEvent);
    if (typed.isNull()) {
        return false;
    }
    const KeyFilterKind filter = filterOf(edit);
    if (!KeyLetThrough(filter, edit->text(), typed, decimalSeparator_)) {
        // A decimal separator of another locale is the one refusal a user cannot guess.
        if (typed == u',' && decimalSeparator_ != u',' && filter != KeyFilterKind::IntOnly &&
            !edit->property(kHintShownProperty).toBool()) {
            edit->setProperty(kHintShownProperty, true);
            QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())),
                               SeparatorHint(decimalSeparator_), edit, QRect(), kHintMilliseconds);
        }
        return true;
    }
    if (onLetThrough_) {
        onLetThrough_();
    }
    return false;
}

KeyFilterKind NumberKeyFilter::filterOf(const QLineEdit* edit)
{
    return static_cast<KeyFilterKind>(edit->property(kFilterProperty).toInt());
}

void NumberKeyFilter::paste(QLineEdit* edit, QClipboard::Mode mode)
{
    if (!edit->isReadOnly()) {
        insertFiltered(edit, QGuiApplication::clipboard()->text(mode));
    }
}

// The text goes in where typed text would (replacing the selection), with only the characters
// the field's filter lets through; it counts as typed.
void NumberKeyFilter::insertFiltered(QLineEdit* edit, const QString& text)
{
    QString current = edit->text();
    if (edit->hasSelectedText()) {
        current.remove(edit->selectionStart(), edit->selectedText().size());
    }
    const QString kept = KeptOfPaste(filterOf(edit), current, text, decimalSeparator_);
    if (kept.isEmpty()) {
        return;
    }
    edit->insert(kept);
    if (onLetThrough_) {
        onLetThrough_();
    }
}

// The editing menu of a field, its paste filtered like the paste key.
void NumberKeyFilter::showContextMenu(QLineEdit* edit, const QPoint& globalPosition)
{
    QMenu menu;
    const bool editable = !edit->isReadOnly();
    const bool selection = edit->hasSelectedText();
    const auto add = [&menu](const QString& text, QKeySequence::StandardKey key, bool enabled,
                             const QString& name, const std::function<void()>& run) {
        QAction* action = menu.addAction(text + u'\t' +
                                         QKeySequence(key).toString(QKeySequence::NativeText));
        action->setObjectName(name);
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, &menu, run);
    };
    add(tr("&Undo"), QKeySequence::Undo, editable && edit->isUndoAvailable(),
        QStringLiteral("edit-undo"), [edit] { edit->undo(); });
    add(tr("&Redo"), QKeySequence::Redo, editable && edit->isRedoAvailable(),
        QStringLiteral("edit-redo"), [edit] { edit->redo(); });
    menu.addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, editable && selection, QStringLiteral("edit-cut"),
        [edit] { edit->cut(); });
    add(tr("&Copy"), QKeySequence::Copy, selection, QStringLiteral("edit-copy"),
        [edit] { edit->copy(); });
    add(tr("&Paste"), QKeySequence::Paste,
        editable && !QGuiApplication::clipboard()->text().isEmpty(), QStringLiteral("edit-paste"),
        [this, edit] { paste(edit, QClipboard::Clipboard); });
    add(tr("Delete"), QKeySequence::Delete, editable && selection, QStringLiteral("edit-delete"),
        [edit] { edit->del(); });
    menu.addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, !edit->text().isEmpty(),
        QStringLiteral("select-all"), [edit] { edit->selectAll(); });
    menu.exec(globalPosition);
}

QString SeparatorHint(QChar decimalSeparator)
{
    return QStringLiteral("Use '%1' as the decimal separator").arg(decimalSeparator);
}
