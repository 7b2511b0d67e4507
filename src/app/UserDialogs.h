#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every modal dialog and message box of the windows goes through this interface, so that
// tests replace it with answers of their own and never block on a modal window.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    struct FileRequest {
        QString title;           // empty: the platform's default title
        QString folder;          // initial folder; empty: the platform's default
        QString fileName;        // proposed name, without folder
        QString filter;          // Qt filter text, e.g. "Bitmap image (*.bmp)"
        QString defaultSuffix;   // added when the user types a name without one ("txt")
        bool confirmOverwrite = true;
    };

    // The chosen full path, or an empty string when the user cancels.
    virtual QString openFile(QWidget* parent, const FileRequest& request) = 0;
    virtual QString saveFile(QWidget* parent, const FileRequest& request) = 0;

    // A message box captioned with the application title and an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // An information-kind Yes/No question; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // A question with a button for each choice, in order; the index of the choice, or -1 when
    // none is chosen. Escape and the close box take the last choice.
    virtual int choose(QWidget* parent, const QString& text, const QStringList& choices) = 0;
    // A message box of the warning kind, for a failure.
    virtual void warning(QWidget* parent, const QString& text) = 0;
};

// The real dialogs (QFileDialog, QMessageBox).
class QtUserDialogs final : public UserDialogs {
public:
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
    void message(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    int choose(QWidget* parent, const QString& text, const QStringList& choices) override;
    void warning(QWidget* parent, const QString& text) override;
};
