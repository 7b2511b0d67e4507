#include "app/AppPlatform.h"

#include <clocale>
#include <ctime>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QStandardPaths>
#include <QUrl>

#include "app/AppStyle.h"

QChar DecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    if (separator.size() != 1 || separator.at(0).unicode() > 0xFF) {
        return QLatin1Char('.');
    }
    return separator.at(0);
}

pyrolith::DateTimeTexts JobDateTimeTexts(const QDateTime& moment)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    std::tm fields{};
    fields.tm_year = date.year() - 1900;
    fields.tm_mon = date.month() - 1;
    fields.tm_mday = date.day();
    fields.tm_wday = date.dayOfWeek() % 7;
    fields.tm_yday = date.dayOfYear() - 1;
    fields.tm_hour = time.hour();
    fields.tm_min = time.minute();
    fields.tm_sec = time.second();
    fields.tm_isdst = -1;
    return pyrolith::JobDateTimeTexts(fields);
}

void ConfigureApplication()
{
    // No application display name: on X11 and Wayland Qt would add a dash and "Pyrolith" to
    // every title ("Settings - Pyrolith"), and the titles are the program's own texts.
    QCoreApplication::setApplicationName(QStringLiteral("Pyrolith"));
    QCoreApplication::setApplicationVersion(VersionText());
    QGuiApplication::setDesktopFileName(QStringLiteral("pyrolith"));
    AppStyle::LoadResources();
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/pyrolith/icon-256.png")));
    // The job header's date and time follow the user's locale as in the command-line program
    // (Qt applies it on Unix already, not on Windows).
    std::setlocale(LC_TIME, "");
}

std::filesystem::path ToPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

bool ShellOpen(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QString VersionText()
{
#ifdef PYROLITH_VERSION_TEXT
    return QStringLiteral(PYROLITH_VERSION_TEXT);
#else
    return {};
#endif
}

AppLocations ResolveLocations(const QString& programPath, const QString& configFolder)
{
    const QFileInfo program(programPath);
    const QString programFolder = program.absolutePath();
    const QFileInfo folderInfo(programFolder);
    if (folderInfo.isDir() && folderInfo.isWritable()) {
        return {programFolder + QLatin1Char('/') + program.completeBaseName() +
                    QStringLiteral(".ini"),
                programFolder + QStringLiteral("/Profiles/")};
    }
    const QString folder = QDir::cleanPath(configFolder);
    return {folder + QStringLiteral("/pyrolith.ini"), folder + QStringLiteral("/Profiles/")};
}

QString UserConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString ManualPath(const QString& programFolder)
{
    const QString beside = programFolder + QStringLiteral("/Pyrolith_Manual.pdf");
#ifdef PYROLITH_INSTALLED_DOC_RELATIVE
    if (!QFileInfo::exists(beside)) {
        const QString installed =
            QDir::cleanPath(programFolder + QStringLiteral("/" PYROLITH_INSTALLED_DOC_RELATIVE
                                                           "/Pyrolith_Manual.pdf"));
        if (QFileInfo::exists(installed)) {
            return installed;
        }
    }
#endif
    return beside;
}
