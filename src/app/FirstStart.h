#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class TfrmSettings;
class UserDialogs;

// The first start of the program, with no settings file yet: one question, which machine it
// drives, and the matching example profile (its speeds, laser commands, pauses and the M400
// choice) loaded as the current profile. The example is copied into the profiles folder, so
// that the user edits and saves a profile of their own; a file of that name already there
// is loaded as it is. "Decide later" (or closing the box) keeps the settings as they are.
class FirstStart {
public:
    static const QString kQuestion;
    static const QStringList kChoices; // printer, GRBL, decide later

    // The example profiles the program carries, by choice (empty for "Decide later").
    static QString ExampleName(int choice);

    static void AskForMachine(TfrmSettings& settings, UserDialogs& dialogs, QWidget* parent,
                              const QString& profilesFolder);
};
