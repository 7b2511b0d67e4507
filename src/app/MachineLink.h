#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "machine/Connector.h"
#include "machine/MachineSession.h"

class QSerialPort;

// What the Machine panel shows of the machine, sent from the link's thread.
struct MachineSnapshot {
    bool connected = false;
    bool grbl = false;
    int jobState = 0;  // pyrolith::machine::JobState
    QString state;
    bool hasPosition = false;
    double x = 0, y = 0, z = 0;
    qint64 acknowledged = 0;
    qint64 total = 0;
};
Q_DECLARE_METATYPE(MachineSnapshot)

// The serial port and the conversation with the machine. It lives on its own thread, so that
// a slow or silent machine never holds up the window; the window calls its slots through
// queued connections and listens to its signals.
class MachineLink : public QObject {
    Q_OBJECT
public:
    MachineLink();
    ~MachineLink() override;

public slots:
    void openPort(const QString& port, int baud, int fallbackFirmware, const QString& laserOff);
    void closePort();
    void startJob(const std::vector<std::string>& lines);
    void pause();
    void resume();
    void stop();
    void command(const QString& line);
    void cancelJog();
    // The safe stop of a running job, waited for (at most a few seconds), then the port is
    // closed. The window calls it, blocking, when it closes.
    void shutdown();

signals:
    void message(int kind, const QString& text);
    void snapshot(const MachineSnapshot& snapshot);
    // The bytes written to the machine and read from it in one turn (either may be empty).
    void traffic(const QByteArray& sent, const QByteArray& received);

private:
    void turn();
    void publish();

    std::unique_ptr<QSerialPort> port_;
    std::unique_ptr<pyrolith::machine::Connector> connector_;
    std::unique_ptr<pyrolith::machine::MachineSession> session_;
    QTimer* timer_ = nullptr;
    QString pending_;
    bool grbl_ = false;
    MachineSnapshot last_;
};
