#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MachineConsole.h"
#include "app/MachineLink.h"
#include "machine/JobTimeline.h"
#include "settings/JobSettings.h"

namespace Ui {
class TfrmMachine;
}
class UserDialogs;

// The "Machine" panel: connects to a GRBL controller or a printer, shows its state and
// position, homes, unlocks, jogs, traces the frame, sends the job, pauses, resumes and stops
// it. Every transfer runs on the link's own thread. Stop, Escape, closing the window and
// disconnecting during a job all end in the safe stop, which leaves the laser off.
class TfrmMachine : public QWidget {
    Q_OBJECT
public:
    struct Sources {
        // The job the window would save and the frame, as lines; both throw pyrolith::Error
        // with the user's text.
        std::function<std::vector<std::string>()> job;
        std::function<std::vector<std::string>()> frame;
        // The current settings: the flavour (when the machine does not greet), the laser-off
        // and homing commands, the unit and the trace speed of the jog moves.
        std::function<pyrolith::JobSettings()> settings;
        // The time of the console's entries.
        std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
        // Sets one setting (its key and text) as if typed in the settings window; false when
        // it is not taken. Empty: the GRBL settings tab offers no "Use for the estimate".
        std::function<bool(const QString& key, const QString& text)> setSetting;
    };

    // The most entries the console keeps; older ones scroll away.
    static constexpr int kConsoleLines = 2000;

    TfrmMachine(Sources sources, UserDialogs* dialogs, QWidget* parent = nullptr);
    ~TfrmMachine() override;

    // The safe stop of a running job and the port closed, waited for; the window calls it when
    // it closes.
    void shutdown();
    bool jobActive() const;
    // The port is open (or being opened): Escape is the machine's stop.
    bool connected() const { return portOpen_; }
    // How long a machine may stay silent after the port opens before the panel gives up.
    void setNoAnswerTimeout(int milliseconds) { noAnswer_.setInterval(milliseconds); }

public slots:
    void btnConnectClick();
    void btnHomeClick();
    void btnUnlockClick();
    void btnFrameClick();
    void btnSendJobClick();
    void btnPauseClick();
    void btnStopClick();
    void jog(int dx, int dy);
    void btnConsoleSendClick();

signals:
    void openPort(const QString& port, int baud, int fallbackFirmware, const QString& laserOff);
    void startJob(const std::vector<std::string>& lines);
    void command(const QString& line);
    // While the job (not the frame) is sent and after it ended: the number of its lines the
    // machine has taken, from 0 when a job starts.
    void jobProgress(qint64 acknowledged);
    void connectedChanged(bool connected);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addConsole();
    void showTraffic(const QByteArray& sent, const QByteArray& received);
    void updateConsoleInput();
    // GRBL's settings are read ($$) as their tab is first shown to a connected, idle machine.
    void readGrblSettings();
    // "Use for the estimate": the machine's own numbers into the settings of the estimate.
    void btnUseGrblSettingsClick();
    void noAnswer();
    void jogAxis(const QString& axis, int sign);
    void showSnapshot(const MachineSnapshot& snapshot);
    void addMessage(int kind, const QString& text);
    void updateClock();
    void send(std::vector<std::string> lines);
    void invoke(const char* method);
    void setPortOpen(bool open);

    std::unique_ptr<Ui::TfrmMachine> ui_;
    Sources sources_;
    UserDialogs* dialogs_;
    QThread thread_;
    MachineLink* link_;
    MachineSnapshot snapshot_;
    pyrolith::machine::JobTimeline timeline_;
    QElapsedTimer jobClock_;
    QTimer clockTimer_;
    bool portOpen_ = false;
    class QShortcut* escape_ = nullptr;
    QTimer noAnswer_;
    ConsoleTraffic traffic_;
    class QPlainTextEdit* memoConsole_ = nullptr;
    class QLineEdit* edtConsoleLine_ = nullptr;
    class QPushButton* btnConsoleSend_ = nullptr;
    class QTabWidget* tabLog_ = nullptr;
    class QTableWidget* tblGrblSettings_ = nullptr;
    class QWidget* grblSettingsPage_ = nullptr;
    class QPushButton* btnUseGrblSettings_ = nullptr;
    bool settingsAsked_ = false;  // $$ went out on this connection
    bool sendingJob_ = false;  // the lines sent last are the job, not the frame
};
