#include "app/UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QFileDialog::Options OptionsFor(const UserDialogs::FileRequest& request)
{
    QFileDialog::Options options;
    if (!request.confirmOverwrite) {
        options |= QFileDialog::DontConfirmOverwrite;
    }
    return options;
}

}  // namespace

QString QtUserDialogs::openFile(QWidget* parent, const FileRequest& request)
{
    QFileDialog dialog(parent, request.title, request.folder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOptions(OptionsFor(request));
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString QtUserDialogs::saveFile(QWidget* parent, const FileRequest& request)
{
    QFileDialog dialog(parent, request.title, request.folder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOptions(OptionsFor(request));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void QtUserDialogs::message(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

bool QtUserDialogs::askYesNo(QWidget* parent, const QString& text)
{
    return QMessageBox::information(parent, QApplication::applicationName(), text,
                                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

int QtUserDialogs::choose(QWidget* parent, const QString& text, const QStringList& choices)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::NoButton, parent);
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices) {
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    }
    if (!buttons.isEmpty()) {
        box.setEscapeButton(buttons.constLast()); // Escape and the close box: the last choice
    }
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

void QtUserDialogs::warning(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QApplication::applicationName(), text);
}
