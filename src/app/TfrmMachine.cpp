#include "app/TfrmMachine.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QFontDatabase>
#include <QTabBar>
#include <QComboBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
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

// A bar of 0 to 1000 with its share to a tenth of a percent: "Lines 0.4%".
void ShowShare(QProgressBar& bar, const QString& word, int perMille)
{
    bar.setValue(perMille);
    bar.setFormat(QStringLiteral("%1 %2%").arg(word).arg(perMille / 10.0, 0, 'f', 1));
}

// The setting of the estimate that GRBL's setting `number` gives; empty for the others.
QString EstimateKeyOf(int number)
{
    switch (number) {
    case 1: return QStringLiteral("StepperIdleLock");
    case 11: return QStringLiteral("JunctionDeviation");
    case 32: return QStringLiteral("LaserMode");
    case 110: return QStringLiteral("MaxRateX");
    case 111: return QStringLiteral("MaxRateY");
    case 120: return QStringLiteral("AccelX");
    case 121: return QStringLiteral("AccelY");
    default: return {};
    }
}

// GRBL's "6000.000" as a setting is typed: "6000"; "0.010": "0.01".
QString SettingText(QString value)
{
    if (value.contains(QLatin1Char('.'))) {
        while (value.endsWith(QLatin1Char('0'))) {
            value.chop(1);
        }
        if (value.endsWith(QLatin1Char('.'))) {
            value.chop(1);
        }
    }
    return value;
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
    // Escape stops the machine while the port is open; otherwise the key is the window's.
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape_->setContext(Qt::WindowShortcut);
    escape_->setEnabled(false);
    connect(escape_, &QShortcut::activated, this, &TfrmMachine::btnStopClick);

    clockTimer_.setInterval(500);
    connect(&clockTimer_, &QTimer::timeout, this, &TfrmMachine::updateClock);
    ui_->lblElapsed->clear();
    ui_->lblRemaining->clear();

    ShowShare(*ui_->prgTime, QStringLiteral("Time"), 0);
    ShowShare(*ui_->prgLines, QStringLiteral("Lines"), 0);
    noAnswer_.setSingleShot(true);
    noAnswer_.setInterval(8000);
    connect(&noAnswer_, &QTimer::timeout, this, &TfrmMachine::noAnswer);
    connect(link_, &MachineLink::traffic, this, &TfrmMachine::showTraffic);
    addConsole();
    // The arrow keys jog X and Y, Page Up and Page Down Z, while the panel has the focus
    // (and no field that takes those keys itself).
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(widget) == nullptr &&
            qobject_cast<QComboBox*>(widget) == nullptr &&
            qobject_cast<QPlainTextEdit*>(widget) == nullptr &&
            qobject_cast<QAbstractItemView*>(widget) == nullptr &&
            qobject_cast<QTabBar*>(widget) == nullptr) {
            widget->installEventFilter(this);
        }
    }
    installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);
}

// The messages, the console and GRBL's settings share the bottom of the panel as tabs.
void TfrmMachine::addConsole()
{
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabLog"));
    ui_->memoLog->parentWidget()->layout()->replaceWidget(ui_->memoLog, tabs);
    tabs->addTab(ui_->memoLog, QStringLiteral("Messages"));

    auto* console = new QWidget(tabs);
    auto* layout = new QVBoxLayout(console);
    layout->setContentsMargins(2, 2, 2, 2);
    memoConsole_ = new QPlainTextEdit(console);
    memoConsole_->setObjectName(QStringLiteral("memoConsole"));
    memoConsole_->setReadOnly(true);
    memoConsole_->setMaximumBlockCount(kConsoleLines);
    memoConsole_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memoConsole_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* row = new QHBoxLayout;
    edtConsoleLine_ = new QLineEdit(console);
    edtConsoleLine_->setObjectName(QStringLiteral("edtConsoleLine"));
    edtConsoleLine_->setPlaceholderText(QStringLiteral("A line to send: $$, $H, G28, M114, M106 S10..."));
    btnConsoleSend_ = new QPushButton(QStringLiteral("Send"), console);
    btnConsoleSend_->setObjectName(QStringLiteral("btnConsoleSend"));
    row->addWidget(edtConsoleLine_, 1);
    row->addWidget(btnConsoleSend_);
    layout->addWidget(memoConsole_, 1);
    layout->addLayout(row);
    tabs->addTab(console, QStringLiteral("Console"));

    grblSettingsPage_ = new QWidget(tabs);
    auto* settingsLayout = new QVBoxLayout(grblSettingsPage_);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    tblGrblSettings_ = new QTableWidget(0, 3, grblSettingsPage_);
    tblGrblSettings_->setObjectName(QStringLiteral("tblGrblSettings"));
    tblGrblSettings_->setHorizontalHeaderLabels(
        {QStringLiteral("Setting"), QStringLiteral("Value"), QStringLiteral("Meaning")});
    tblGrblSettings_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tblGrblSettings_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tblGrblSettings_->horizontalHeader()->setStretchLastSection(true);
    tblGrblSettings_->setWordWrap(true);
    tblGrblSettings_->verticalHeader()->hide();
    tblGrblSettings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    btnUseGrblSettings_ = new QPushButton(QStringLiteral("Use for the estimate"), grblSettingsPage_);
    btnUseGrblSettings_->setObjectName(QStringLiteral("btnUseGrblSettings"));
    btnUseGrblSettings_->setToolTip(QStringLiteral(
        "Copies the machine's speeds, accelerations, junction deviation, laser mode and "
        "stepper idle delay into the Machine page of the settings"));
    btnUseGrblSettings_->setEnabled(false);
    btnUseGrblSettings_->setVisible(static_cast<bool>(sources_.setSetting));
    connect(btnUseGrblSettings_, &QPushButton::clicked, this, &TfrmMachine::btnUseGrblSettingsClick);
    settingsLayout->addWidget(tblGrblSettings_, 1);
    settingsLayout->addWidget(btnUseGrblSettings_, 0, Qt::AlignRight);
    tabs->addTab(grblSettingsPage_, QStringLiteral("GRBL settings"));
    tabLog_ = tabs;
    connect(tabs, &QTabWidget::currentChanged, this, &TfrmMachine::readGrblSettings);

    connect(btnConsoleSend_, &QPushButton::clicked, this, &TfrmMachine::btnConsoleSendClick);
    connect(edtConsoleLine_, &QLineEdit::returnPressed, this, &TfrmMachine::btnConsoleSendClick);
    updateConsoleInput();
}

void TfrmMachine::updateConsoleInput()
{
    const bool open = snapshot_.connected && !jobActive();
    edtConsoleLine_->setEnabled(open);
    btnConsoleSend_->setEnabled(open);
    edtConsoleLine_->setToolTip(jobActive() ? QStringLiteral("No line can be sent while a job runs")
                                            : QString());
}

void TfrmMachine::btnConsoleSendClick()
{
    const QString line = edtConsoleLine_->text().trimmed();
    if (line.isEmpty() || !snapshot_.connected) {
        return;
    }
    if (jobActive()) {
        // A line of its own in the middle of the job's would change what the job burns.
        dialogs_->warning(this, QStringLiteral("A job is running: a line can be sent once it has "
                                               "ended or been stopped."));
        return;
    }
    if (line == QStringLiteral("$$")) {
        tblGrblSettings_->setRowCount(0);
        btnUseGrblSettings_->setEnabled(false);
    }
    emit command(line);
    edtConsoleLine_->clear();
}

void TfrmMachine::btnUseGrblSettingsClick()
{
    QStringList used;
    for (int row = 0; row < tblGrblSettings_->rowCount(); ++row) {
        const QString setting = tblGrblSettings_->item(row, 0)->text();
        const QString key = EstimateKeyOf(setting.mid(1).toInt());
        if (!key.isEmpty() && sources_.setSetting(key, SettingText(tblGrblSettings_->item(row, 1)->text()))) {
            used.append(setting);
        }
    }
    if (used.isEmpty()) {
        return;
    }
    const QString last = used.takeLast();
    ui_->memoLog->appendPlainText(
        QStringLiteral("The estimate now uses the machine's %1.")
            .arg(used.isEmpty() ? last : used.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last));
}

void TfrmMachine::readGrblSettings()
{
    if (!snapshot_.connected) {
        settingsAsked_ = false;
        return;
    }
    if (settingsAsked_ || !snapshot_.grbl || jobActive() ||
        tabLog_->currentWidget() != grblSettingsPage_ || tblGrblSettings_->rowCount() > 0) {
        return;
    }
    settingsAsked_ = true;
    emit command(QStringLiteral("$$"));
}

void TfrmMachine::showTraffic(const QByteArray& sent, const QByteArray& received)
{
    QStringList lines = traffic_.sent(std::string_view(sent.constData(), static_cast<std::size_t>(sent.size())));
    lines += traffic_.received(
        std::string_view(received.constData(), static_cast<std::size_t>(received.size())));
    if (lines.isEmpty()) {
        return;
    }
    const QString time = sources_.clock().toString(QStringLiteral("HH:mm:ss.zzz "));
    for (const QString& line : lines) {
        memoConsole_->appendPlainText(time + line);
        int number = 0;
        QString value;
        if (line.startsWith(QStringLiteral("< ")) && ParseGrblSetting(line.mid(2), number, value)) {
            int row = 0;
            while (row < tblGrblSettings_->rowCount() &&
                   tblGrblSettings_->item(row, 0)->text() != QStringLiteral("$%1").arg(number)) {
                ++row;
            }
            if (row == tblGrblSettings_->rowCount()) {
                tblGrblSettings_->insertRow(row);
            }
            tblGrblSettings_->setItem(row, 0, new QTableWidgetItem(QStringLiteral("$%1").arg(number)));
            tblGrblSettings_->setItem(row, 1, new QTableWidgetItem(value));
            tblGrblSettings_->setItem(row, 2, new QTableWidgetItem(GrblSettingMeaning(number)));
            btnUseGrblSettings_->setEnabled(!EstimateKeyOf(number).isEmpty() ||
                                            btnUseGrblSettings_->isEnabled());
        }
    }
}

void TfrmMachine::noAnswer()
{
    if (!portOpen_ || snapshot_.connected) {
        return;
    }
    invoke("shutdown");
    setPortOpen(false);
    ui_->btnConnect->setText(QStringLiteral("Connect"));
    ui_->lblState->setText(QStringLiteral("Not connected"));
    dialogs_->warning(this, QStringLiteral("No answer on %1 at %2 baud. Check the cable, the port, "
                                           "the speed and that the machine is switched on.")
                                .arg(ui_->cboPort->currentText().trimmed(),
                                     ui_->cboBaud->currentText().trimmed()));
}

bool TfrmMachine::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool idle = snapshot_.connected && !jobActive();
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Left: if (idle) { jogAxis(QStringLiteral("X"), -1); } return true;
            case Qt::Key_Right: if (idle) { jogAxis(QStringLiteral("X"), 1); } return true;
            case Qt::Key_Up: if (idle) { jogAxis(QStringLiteral("Y"), 1); } return true;
            case Qt::Key_Down: if (idle) { jogAxis(QStringLiteral("Y"), -1); } return true;
            case Qt::Key_PageUp: if (idle) { jogAxis(QStringLiteral("Z"), 1); } return true;
            case Qt::Key_PageDown: if (idle) { jogAxis(QStringLiteral("Z"), -1); } return true;
            default: break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
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
        setPortOpen(false);
    }
}

void TfrmMachine::setPortOpen(bool open)
{
    portOpen_ = open;
    escape_->setEnabled(open);
    emit connectedChanged(open);
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
        setPortOpen(false);
        noAnswer_.stop();
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
    setPortOpen(true);
    // Until the machine answers: Connecting..., and Cancel gives up.
    ui_->btnConnect->setText(QStringLiteral("Cancel"));
    ui_->lblState->setText(QStringLiteral("Connecting..."));
    noAnswer_.start();
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
    jogAxis(dx != 0 ? QStringLiteral("X") : QStringLiteral("Y"), dx + dy < 0 ? -1 : 1);
}

void TfrmMachine::jogAxis(const QString& axis, int sign)
{
    const pyrolith::JobSettings settings = sources_.settings();
    const QString step = ui_->cboJogStep->currentText().trimmed();
    bool ok = false;
    step.toDouble(&ok);
    if (!ok) {
        dialogs_->warning(this, QStringLiteral("The jog step is not a number."));
        return;
    }
    const QString minus = sign < 0 ? QStringLiteral("-") : QString();
    const QString unit = settings.UseInches ? QStringLiteral("G20") : QStringLiteral("G21");
    const QString feed = QStringLiteral(" F") + QString::fromStdString(settings.TraceSpeed);
    if (snapshot_.grbl) {
        emit command(QStringLiteral("$J=G91 ") + unit + u' ' + axis + minus + step + feed);
    } else {
        emit command(unit);
        emit command(QStringLiteral("G91"));
        emit command(QStringLiteral("G0 ") + axis + minus + step + feed);
        emit command(QStringLiteral("G90"));
    }
}

void TfrmMachine::send(std::vector<std::string> lines)
{
    pyrolith::toolpath::MachineProfile machine =
        pyrolith::toolpath::MachineProfileOf(sources_.settings());
    machine.flavor = snapshot_.grbl ? pyrolith::GcodeFlavor::Grbl : pyrolith::GcodeFlavor::Printer3D;
    timeline_ = pyrolith::machine::JobTimeline(lines, machine);
    ShowShare(*ui_->prgTime, QStringLiteral("Time"), 0);
    ShowShare(*ui_->prgLines, QStringLiteral("Lines"), 0);
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
    if (snapshot.connected) {
        noAnswer_.stop();
        if (portOpen_) {
            ui_->btnConnect->setText(QStringLiteral("Disconnect"));
        }
    }
    ui_->lblState->setText(portOpen_ && !snapshot.connected && !active
                               ? QStringLiteral("Connecting...")
                           : snapshot.state.isEmpty() ? QStringLiteral("Not connected")
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
        ShowShare(*ui_->prgLines, QStringLiteral("Lines"),
                  static_cast<int>(snapshot.acknowledged * 1000 / snapshot.total));
        if (sendingJob_) {
            emit jobProgress(snapshot.acknowledged);
        }
    }
    if (active || clockTimer_.isActive()) {
        updateClock();
    }
    readGrblSettings();
    if (!active) {
        clockTimer_.stop();
    }
    const auto state = static_cast<JobState>(snapshot.jobState);
    if (state == JobState::Stopped || state == JobState::Failed) {
        ui_->lblRemaining->clear(); // no time remains of a job that will not go on
    }
    updateConsoleInput();
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
        ShowShare(*ui_->prgTime, QStringLiteral("Time"), static_cast<int>(done * 1000 / total));
    }
}

void TfrmMachine::addMessage(int kind, const QString& text)
{
    using Kind = pyrolith::machine::SessionMessage::Kind;
    int number = 0;
    QString value;
    if (static_cast<Kind>(kind) == Kind::Firmware && ParseGrblSetting(text, number, value)) {
        return;  // the settings tab shows it, the console too
    }
    const QString prefix = static_cast<Kind>(kind) == Kind::Error      ? QStringLiteral("! ")
                           : static_cast<Kind>(kind) == Kind::Firmware ? QStringLiteral("< ")
                                                                        : QString();
    ui_->memoLog->appendPlainText(prefix + text);
}
