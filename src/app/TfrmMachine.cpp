#include "app/TfrmMachine.h"

#include <QKeySequence>
#include <QSerialPortInfo>
#include <QShortcut>
#include <exception>

#include "app/UserDialogs.h"
#include "machine/MachineSession.h"
#include "toolpath/MotionPlanner.h"
#include "ui_TfrmMachine.h"

using pyrolith::machine::Firmware;
using pyrolith::machine::JobState;

namespace {

bool Active(int jobState)
{
    const auto state = static_cast<JobState>(jobState);
    return state == JobState::Running || state == JobState::Pausing ||
           state == JobState::Paused || state == JobState::Stopping;
}

}  // namespace

TfrmMachine::TfrmMachine(Sources sources, UserDialogs* dialogs, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmMachine>()), sources_(std::move(sources)),
      dialogs_(dialogs), link_(new MachineLink)
{
    ui_->setupUi(this);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ui_->cboPort->addItem(info.systemLocation());
    }

    link_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, link_, &QObject::deleteLater);
    connect(this, &TfrmMachine::openPort, link_, &MachineLink::openPort);
    connect(this, &TfrmMachine::startJob, link_, &MachineLink::startJob);
    connect(this, &TfrmMachine::command, link_, &MachineLink::command);
    connect(link_, &MachineLink::snapshot, this, &TfrmMachine::showSnapshot);
    connect(link_, &MachineLink::message, this, &TfrmMachine::addMessage);
    thread_.start();

    connect(ui_->btnConnect, &QPushButton::clicked, this, &TfrmMachine::btnConnectClick);
    connect(ui_->btnHome, &QPushButton::clicked, this, &TfrmMachine::btnHomeClick);
    connect(ui_->btnUnlock, &QPushButton::clicked, this, &TfrmMachine::btnUnlockClick);
    connect(ui_->btnFrame, &QPushButton::clicked, this, &TfrmMachine::btnFrameClick);
    connect(ui_->btnSendJob, &QPushButton::clicked, this, &TfrmMachine::btnSendJobClick);
    connect(ui_->btnPause, &QPushButton::clicked, this, &TfrmMachine::btnPauseClick);
    connect(ui_->btnStop, &QPushButton::clicked, this, &TfrmMachine::btnStopClick);
    connect(ui_->btnJogXPlus, &QPushButton::clicked, this, [this] { jog(1, 0); });
    connect(ui_->btnJogXMinus, &QPushButton::clicked, this, [this] { jog(-1, 0); });
    connect(ui_->btnJogYPlus, &QPushButton::clicked, this, [this] { jog(0, 1); });
    connect(ui_->btnJogYMinus, &QPushButton::clicked, this, [this] { jog(0, -1); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &TfrmMachine::btnStopClick);

    clockTimer_.setInterval(500);
    connect(&clockTimer_, &QTimer::timeout, this, &TfrmMachine::updateClock);
    ui_->lblElapsed->clear();
    ui_->lblRemaining->clear();
}

TfrmMachine::~TfrmMachine()
{
    shutdown();
    thread_.quit();
    thread_.wait();
}

void TfrmMachine::invoke(const char* method)
{
    QMetaObject::invokeMethod(link_, method, Qt::QueuedConnection);
}

void TfrmMachine::shutdown()
{
    if (portOpen_ && thread_.isRunning()) {
        QMetaObject::invokeMethod(link_, "shutdown", Qt::BlockingQueuedConnection);
        portOpen_ = false;
    }
}

bool TfrmMachine::jobActive() const
{
    return Active(snapshot_.jobState);
}

void TfrmMachine::btnConnectClick()
{
    if (portOpen_) {
        if (jobActive() &&
            !dialogs_->askYesNo(
                this, QStringLiteral("A job is running on the machine. Stop it and disconnect?"))) {
            return;
        }
        invoke("shutdown");  // a running job is stopped safely first
        portOpen_ = false;
        ui_->btnConnect->setText(QStringLiteral("Connect"));
        return;
    }
    const QString port = ui_->cboPort->currentText().trimmed();
    bool ok = false;
    const int baud = ui_->cboBaud->currentText().trimmed().toInt(&ok);
    if (port.isEmpty() || !ok || baud <= 0) {
        dialogs_->warning(this, QStringLiteral("Choose a port and a speed."));
        return;
    }
    const pyrolith::JobSettings settings = sources_.settings();
    portOpen_ = true;
    ui_->btnConnect->setText(QStringLiteral("Disconnect"));
    emit openPort(port, baud, static_cast<int>(settings.GRBL ? Firmware::Grbl : Firmware::Printer),
                  QString::fromStdString(pyrolith::LaserOffForStop(settings)));
}

void TfrmMachine::btnHomeClick()
{
    emit command(snapshot_.grbl ? QStringLiteral("$H")
                                : QString::fromStdString(sources_.settings().HomeCommand));
}

void TfrmMachine::btnUnlockClick()
{
    emit command(QStringLiteral("$X"));
}

void TfrmMachine::jog(int dx, int dy)
{
    const pyrolith::JobSettings settings = sources_.settings();
    const QString step = ui_->cboJogStep->currentText().trimmed();
    bool ok = false;
    step.toDouble(&ok);
    if (!ok) {
        dialogs_->warning(this, QStringLiteral("The jog step is not a number."));
        return;
    }
    const QString axis = dx != 0 ? QStringLiteral("X") : QStringLiteral("Y");
    const QString sign = dx + dy < 0 ? QStringLiteral("-") : QString();
    const QString unit = settings.UseInches ? QStringLiteral("G20") : QStringLiteral("G21");
    const QString feed = QStringLiteral(" F") + QString::fromStdString(settings.TraceSpeed);
    if (snapshot_.grbl) {
        emit command(QStringLiteral("$J=G91 ") + unit + u' ' + axis + sign + step + feed);
    } else {
        emit command(unit);
        emit command(QStringLiteral("G91"));
        emit command(QStringLiteral("G0 ") + axis + sign + step + feed);
        emit command(QStringLiteral("G90"));
    }
}

void TfrmMachine::send(std::vector<std::string> lines)
{
    pyrolith::toolpath::MachineProfile machine =
        pyrolith::toolpath::MachineProfileOf(sources_.settings());
    machine.flavor = snapshot_.grbl ? pyrolith::GcodeFlavor::Grbl : pyrolith::GcodeFlavor::Printer3D;
    timeline_ = pyrolith::machine::JobTimeline(lines, machine);
    ui_->prgTime->setValue(0);
    ui_->prgLines->setValue(0);
    jobClock_.start();
    clockTimer_.start();
    emit startJob(lines);
}

void TfrmMachine::btnFrameClick()
{
    try {
        std::vector<std::string> frame = sources_.frame();
        sendingJob_ = false;
        send(std::move(frame));
    } catch (const std::exception& error) {
        dialogs_->warning(this, QString::fromStdString(error.what()));
    }
}

void TfrmMachine::btnSendJobClick()
{
    try {
        std::vector<std::string> job = sources_.job();
        sendingJob_ = true;
        send(std::move(job));
    } catch (const std::exception& error) {
        dialogs_->warning(this, QString::fromStdString(error.what()));
    }
}

void TfrmMachine::btnPauseClick()
{
    invoke(static_cast<JobState>(snapshot_.jobState) == JobState::Paused ? "resume" : "pause");
}

void TfrmMachine::btnStopClick()
{
    if (portOpen_) {
        invoke("stop");
    }
}

void TfrmMachine::showSnapshot(const MachineSnapshot& snapshot)
{
    snapshot_ = snapshot;
    const bool active = Active(snapshot.jobState);
    const bool idle = snapshot.connected && !active;
    ui_->lblState->setText(snapshot.state.isEmpty() ? QStringLiteral("Not connected")
                                                    : snapshot.state);
    ui_->lblPosition->setText(
        snapshot.hasPosition
            ? QStringLiteral("X %1  Y %2  Z %3")
                  .arg(snapshot.x, 0, 'f', 3)
                  .arg(snapshot.y, 0, 'f', 3)
                  .arg(snapshot.z, 0, 'f', 3)
            : QString());
    for (QWidget* control : {static_cast<QWidget*>(ui_->btnHome), static_cast<QWidget*>(ui_->btnFrame),
                             static_cast<QWidget*>(ui_->btnSendJob),
                             static_cast<QWidget*>(ui_->btnJogXPlus),
                             static_cast<QWidget*>(ui_->btnJogXMinus),
                             static_cast<QWidget*>(ui_->btnJogYPlus),
                             static_cast<QWidget*>(ui_->btnJogYMinus)}) {
        control->setEnabled(idle);
    }
    ui_->btnUnlock->setEnabled(idle && snapshot.grbl);
    ui_->btnPause->setEnabled(active && static_cast<JobState>(snapshot.jobState) != JobState::Stopping);
    ui_->btnPause->setText(static_cast<JobState>(snapshot.jobState) == JobState::Paused
                               ? QStringLiteral("Resume")
                               : QStringLiteral("Pause"));
    ui_->btnStop->setEnabled(snapshot.connected || active);
    if (snapshot.total > 0) {
        ui_->prgLines->setValue(static_cast<int>(snapshot.acknowledged * 1000 / snapshot.total));
        if (sendingJob_) {
            emit jobProgress(snapshot.acknowledged);
        }
    }
    if (active || clockTimer_.isActive()) {
        updateClock();
    }
    if (!active) {
        clockTimer_.stop();
    }
}

void TfrmMachine::updateClock()
{
    if (!jobClock_.isValid()) {
        return;
    }
    const qint64 elapsed = jobClock_.elapsed();
    ui_->lblElapsed->setText(QStringLiteral("Elapsed ") +
                             QString::fromStdString(pyrolith::toolpath::DurationText(
                                 static_cast<double>(elapsed) / 1000.0)));
    const double total = timeline_.totalSeconds();
    if (total > 0) {
        // The estimate at the line the machine took last.
        const double done = timeline_.secondsThrough(static_cast<std::size_t>(snapshot_.acknowledged));
        ui_->lblRemaining->setText(
            QStringLiteral("Remaining ") +
            QString::fromStdString(pyrolith::toolpath::DurationText(total - done)));
        ui_->prgTime->setValue(static_cast<int>(done * 1000 / total));
    }
}

void TfrmMachine::addMessage(int kind, const QString& text)
{
    using Kind = pyrolith::machine::SessionMessage::Kind;
    const QString prefix = static_cast<Kind>(kind) == Kind::Error      ? QStringLiteral("! ")
                           : static_cast<Kind>(kind) == Kind::Firmware ? QStringLiteral("< ")
                                                                        : QString();
    ui_->memoLog->appendPlainText(prefix + text);
}
