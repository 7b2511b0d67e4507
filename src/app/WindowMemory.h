#pragma once

#include <QByteArray>
#include <QString>

// What the windows remember between runs, kept in the settings file beside the settings (it
// is no setting of a job, and no profile holds it): the main window's place and size, its
// docked panels (the Machine panel open or closed, and its width), and whether the Job view
// shows the laser-off moves.
struct WindowMemory {
    QByteArray mainGeometry; // QWidget::saveGeometry; empty: never saved
    QByteArray mainState;    // QMainWindow::saveState
    bool showTravel = false;

    // A missing or unreadable file, or a missing key, reads as nothing remembered.
    static WindowMemory Read(const QString& settingsFile);
    // Throws pyrolith::Error with the user's text when the file cannot be written.
    void write(const QString& settingsFile) const;
};
