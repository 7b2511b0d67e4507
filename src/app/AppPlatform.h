#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>
#include <filesystem>

#include "common/DateTimeText.h"

class QUrl;

// The few things the windows ask of the platform, each behind one small function so that the
// window code stays free of platform details.

// The decimal separator of the user's number format ("." or ","); "." when the locale's
// separator is not a single Latin-1 character.
QChar DecimalSeparator();

// The job header's date and time texts of a moment in the user's locale: the core's texts,
// the same the command-line program writes.
pyrolith::DateTimeTexts JobDateTimeTexts(const QDateTime& moment);

// The application's name, version, desktop entry and icon. The name is no display name:
// the window system then adds nothing to a window's title.
void ConfigureApplication();

// A file name as the core takes it (the file system's encoding).
std::filesystem::path ToPath(const QString& path);

// The folder that holds the program file, without a trailing separator.
QString ProgramFolder();

// Asks the desktop to open a document, a web page or a mail link with its default
// application. False when the desktop reports that it could not.
bool ShellOpen(const QUrl& url);

// The program's version as four numbers joined by "." ("1.3.0.4"); empty when the build
// carries no version.
QString VersionText();

// Where the settings file and the profiles live. A program that runs from a folder it may
// write to (such as the build's bin folder) keeps both beside itself: the settings file is
// the program's path with the extension ".ini", the profiles the folder "Profiles" there.
// An installed copy, whose folder the user cannot write, keeps them in the user's
// configuration folder instead (configFolder/pyrolith.ini and configFolder/Profiles/).
struct AppLocations {
    QString settingsFile;
    QString profilesFolder; // ends with "/"
};
AppLocations ResolveLocations(const QString& programPath, const QString& configFolder);

// The user's configuration folder of the program (~/.config/Pyrolith on Linux).
QString UserConfigFolder();

// The manual: "Pyrolith_Manual.pdf" beside the program, or, for an installed copy that has
// none there, the one in the installed documentation folder. The path beside the program
// when neither exists.
QString ManualPath(const QString& programFolder);
