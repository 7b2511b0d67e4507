#include "app/AppPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QUrl>

QChar DecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    if (separator.size() != 1 || separator.at(0).unicode() > 0xFF) {
        return QLatin1Char('.');
    }
    return separator.at(0);
}

QString ShortDateText(const QDateTime& moment)
{
    return QLocale::system().toString(moment.date(), QLocale::ShortFormat);
}

QString LongTimeText(const QDateTime& moment)
{
    return QLocale::system().toString(moment.time(), QLocale::LongFormat);
}

std::filesystem::path ToPath(const QString& path)
{
#ifdef Q_OS_WIN
    // Windows paths are UTF-16: no 8-bit code page in between.
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
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
