#pragma once

#include <QList>
#include <QStringList>

#include "app/UserDialogs.h"

// Dialogs that answer from prepared lists and record what the windows asked and said.
// An empty answer list answers "cancelled" (an empty path) or No.
class FakeDialogs final : public UserDialogs {
public:
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
    void message(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    int choose(QWidget* parent, const QString& text, const QStringList& choices) override;
    // Recorded in messages as well, and in warnings.
    void warning(QWidget* parent, const QString& text) override;

    QStringList openAnswers;
    QStringList saveAnswers;
    QList<bool> yesNoAnswers;
    QList<int> choiceAnswers; // an exhausted list closes the box (-1)

    QList<FileRequest> openRequests;
    QList<FileRequest> saveRequests;
    QStringList messages;
    QStringList questions;
    QStringList choiceQuestions;
    QList<QStringList> choices;
    QStringList warnings;
    // Whether the hourglass cursor was still showing when each message appeared.
    QList<bool> hourglassAtMessage;
};
