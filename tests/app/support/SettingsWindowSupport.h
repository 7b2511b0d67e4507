#pragma once

// Shared by the settings window tests: dialogs that answer from a script, and a window
// built around them.

#include <QFile>
#include <QGroupBox>
#include <QStringList>
#include <QTest>
#include <memory>

#include "app/UserDialogs.h"
#include "app/TfrmSettings.h"

class ScriptedDialogs final : public UserDialogs {
public:
    // Answers, taken in order; an exhausted list answers "cancel" / "No".
    QStringList openAnswers;
    QStringList saveAnswers;
    QList<bool> yesNoAnswers;

    // What the window asked.
    QList<FileRequest> openRequests;
    QList<FileRequest> saveRequests;
    QStringList messages;
    QStringList questions;

    QString openFile(QWidget*, const FileRequest& request) override
    {
        openRequests.append(request);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveFile(QWidget*, const FileRequest& request) override
    {
        saveRequests.append(request);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void message(QWidget*, const QString& text) override { messages.append(text); }
    bool askYesNo(QWidget*, const QString& text) override
    {
        questions.append(text);
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
    }
    int choose(QWidget*, const QString& text, const QStringList&) override
    {
        questions.append(text);
        return -1;
    }
    void warning(QWidget* parent, const QString& text) override { message(parent, text); }
};

// The window with scripted dialogs and a stand-in for the main window's final size: it
// counts the calls and reports a loaded picture while imageLoaded is true.
struct SettingsWindowFixture {
    ScriptedDialogs dialogs;
    bool imageLoaded = false;
    int finalSizeCalls = 0;
    std::unique_ptr<TfrmSettings> window;

    void create(const QString& settingsFile, const QString& profilesFolder,
                QChar decimalSeparator = u'.')
    {
        TfrmSettings::Context context;
        context.settingsFile = settingsFile;
        context.profilesFolder = profilesFolder;
        context.decimalSeparator = decimalSeparator;
        context.dialogs = &dialogs;
        context.showFinalSize = [this] {
            ++finalSizeCalls;
            return imageLoaded;
        };
        window = std::make_unique<TfrmSettings>(context);
    }

    bool modified() const
    {
        const QString caption = control<QGroupBox>("grpProfiles")->title();
        if (caption != QLatin1String("Profiles") &&
            caption != QLatin1String("Profiles (modified)")) {
            qFatal("unexpected profile group caption");
        }
        return caption == QLatin1String("Profiles (modified)");
    }

    template <typename T> T* control(const char* name) const
    {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }

    QString groupCaption() const;
};

// Writes a settings file with the given lines under the section "Values".
inline void WriteSettingsFile(const QString& path, const QStringList& lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    file.write("[Values]\r\n");
    for (const QString& line : lines) {
        file.write(line.toLatin1() + "\r\n");
    }
}
