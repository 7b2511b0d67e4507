#include "app/MachineLink.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include "machine/ByteTransport.h"
#include "machine/GrblSession.h"

using namespace pyrolith::machine;

MachineLink::MachineLink()
{
    qRegisterMetaType<MachineSnapshot>();
    qRegisterMetaType<std::vector<std::string>>();
}

MachineLink::~MachineLink() = default;

void MachineLink::openPort(const QString& port, int baud, int fallbackFirmware,
                           const QString& laserOff)
{
    closePort();
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(port);
    port_->setBaudRate(baud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port_->error();
#ifdef _WIN32
        constexpr auto denied = PortFailure::Busy;  // a port held elsewhere
#else
        constexpr auto denied = PortFailure::BusyOrDenied;
#endif
        const PortFailure failure = error == QSerialPort::DeviceNotFoundError ? PortFailure::Missing
                                    : error == QSerialPort::PermissionError   ? denied
                                                                              : PortFailure::Other;
        emit message(static_cast<int>(SessionMessage::Kind::Error),
                     QString::fromStdString(PortOpenFailureText(
                         port.toStdString(), port_->errorString().toStdString(), failure)));
        port_.reset();
        publish();
        return;
    }
    ConnectOptions options;
    options.fallback = static_cast<Firmware>(fallbackFirmware);
    options.laserOffCommand = laserOff.toStdString();
    connector_ = std::make_unique<Connector>(options, Clock::now());
    connect(port_.get(), &QSerialPort::readyRead, this, &MachineLink::turn);
    connect(port_.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError && session_) {
            session_->connectionLost(
                QStringLiteral("The connection to %1 was lost.").arg(port_->portName()).toStdString());
            publish();
        }
    });
    if (timer_ == nullptr) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, &MachineLink::turn);
    }
    timer_->start(20);
}

void MachineLink::closePort()
{
    if (timer_ != nullptr) {
        timer_->stop();
    }
    session_.reset();
    connector_.reset();
    if (port_) {
        port_->close();
        port_.reset();
    }
    publish();
}

void MachineLink::turn()
{
    if (!port_) {
        return;
    }
    const QByteArray bytes = port_->readAll();
    const TimePoint now = Clock::now();
    const std::string_view received(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (!session_ && connector_) {
        session_ = connector_->receive(received, now);
        if (const std::string wake = connector_->takeOutput(); !wake.empty()) {
            port_->write(wake.data(), static_cast<qint64>(wake.size()));
        }
        if (session_) {
            grbl_ = dynamic_cast<GrblSession*>(session_.get()) != nullptr;
            connector_.reset();
        }
    } else if (session_) {
        session_->receive(received, now);
    }
    QByteArray written;
    if (session_) {
        session_->tick(now);
        const std::string output = session_->takeOutput();
        if (!output.empty()) {
            port_->write(output.data(), static_cast<qint64>(output.size()));
            written = QByteArray(output.data(), static_cast<qsizetype>(output.size()));
        }
        for (const SessionMessage& m : session_->takeMessages()) {
            emit message(static_cast<int>(m.kind), QString::fromStdString(m.text));
        }
    }
    if (!written.isEmpty() || !bytes.isEmpty()) {
        emit traffic(written, bytes);
    }
    publish();
}

void MachineLink::publish()
{
    MachineSnapshot now;
    now.connected = session_ && session_->ready();
    now.grbl = grbl_;
    if (session_) {
        const MachineStatus& status = session_->status();
        now.jobState = static_cast<int>(session_->jobState());
        now.state = QString::fromStdString(status.state);
        now.hasPosition = status.hasPosition;
        now.x = status.x;
        now.y = status.y;
        now.z = status.z;
        now.acknowledged = static_cast<qint64>(session_->progress().acknowledged);
        now.total = static_cast<qint64>(session_->progress().total);
    } else if (port_) {
        now.state = QStringLiteral("Connecting");
    }
    if (now.connected != last_.connected || now.jobState != last_.jobState ||
        now.state != last_.state || now.x != last_.x || now.y != last_.y || now.z != last_.z ||
        now.acknowledged != last_.acknowledged || now.total != last_.total ||
        now.hasPosition != last_.hasPosition) {
        last_ = now;
        emit snapshot(now);
    }
}

void MachineLink::startJob(const std::vector<std::string>& lines)
{
    if (session_) {
        session_->startJob(lines, Clock::now());
        turn();
    }
}

void MachineLink::pause()
{
    if (session_) {
        session_->pause(Clock::now());
        turn();
    }
}

void MachineLink::resume()
{
    if (session_) {
        session_->resume(Clock::now());
        turn();
    }
}

void MachineLink::stop()
{
    if (session_) {
        session_->stop(Clock::now());
        turn();
    }
}

void MachineLink::command(const QString& line)
{
    if (session_) {
        session_->command(line.toStdString(), Clock::now());
        turn();
    }
}

void MachineLink::cancelJog()
{
    if (auto* grbl = dynamic_cast<GrblSession*>(session_.get())) {
        grbl->cancelJog();
        turn();
    }
}

void MachineLink::shutdown()
{
    if (session_ && port_ && session_->jobActive()) {
        session_->stop(Clock::now());
        QElapsedTimer waited;
        waited.start();
        while (session_->jobActive() && waited.elapsed() < 5000) {
            turn();
            port_->waitForBytesWritten(20);
            port_->waitForReadyRead(20);
        }
        turn();
        port_->waitForBytesWritten(200);
    }
    closePort();
}
