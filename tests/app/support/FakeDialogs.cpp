#include "app/support/FakeDialogs.h"

#include <QApplication>

QString FakeDialogs::openFile(QWidget* /*parent*/, const FileRequest& request)
{
    openRequests.append(request);
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString FakeDialogs::saveFile(QWidget* /*parent*/, const FileRequest& request)
{
    saveRequests.append(request);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

void FakeDialogs::message(QWidget* /*parent*/, const QString& text)
{
    messages.append(text);
    hourglassAtMessage.append(QApplication::overrideCursor() != nullptr);
}

bool FakeDialogs::askYesNo(QWidget* /*parent*/, const QString& text)
{
    questions.append(text);
    return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
}

int FakeDialogs::choose(QWidget* /*parent*/, const QString& text, const QStringList& offered)
{
    choiceQuestions.append(text);
    choices.append(offered);
    return choiceAnswers.isEmpty() ? -1 : choiceAnswers.takeFirst();
}

void FakeDialogs::warning(QWidget* parent, const QString& text)
{
    warnings.append(text);
    message(parent, text);
}
