#include "app/FirstStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/TfrmSettings.h"
#include "app/UserDialogs.h"

// The examples live in the program's resources; a static library's resources are registered
// by hand.
static void RegisterExamples()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(examples);
        return true;
    }();
    (void)registered;
}

const QString FirstStart::kQuestion = QStringLiteral(
    "Which machine will Pyrolith drive?\n\n"
    "Its example profile becomes the current profile: speeds, laser commands and pauses that "
    "suit such a machine. Change them in the settings window at any time.");

const QStringList FirstStart::kChoices = {QStringLiteral("3D printer with a laser on the fan output"),
                                          QStringLiteral("GRBL laser engraver"),
                                          QStringLiteral("Decide later")};

QString FirstStart::ExampleName(int choice)
{
    switch (choice) {
    case 0:
        return QStringLiteral("printer-fan-laser.prf");
    case 1:
        return QStringLiteral("grbl-laser.prf");
    default:
        return {};
    }
}

void FirstStart::AskForMachine(TfrmSettings& settings, UserDialogs& dialogs, QWidget* parent,
                               const QString& profilesFolder)
{
    RegisterExamples();
    const QString name = ExampleName(dialogs.choose(parent, kQuestion, kChoices));
    if (name.isEmpty()) {
        return;
    }
    const QString target = QDir(profilesFolder).filePath(name);
    if (!QFileInfo::exists(target)) {
        QFile example(QStringLiteral(":/pyrolith/examples/") + name);
        QSaveFile copy(target);
        if (!example.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly) ||
            copy.write(example.readAll()) < 0 || !copy.commit()) {
            dialogs.warning(parent, QStringLiteral("Unable to write to %1")
                                        .arg(QDir::toNativeSeparators(target)));
            return;
        }
    }
    settings.loadProfile(target);
}
