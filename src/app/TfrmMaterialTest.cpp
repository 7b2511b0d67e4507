#include "app/TfrmMaterialTest.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>

#include "app/UserDialogs.h"
#include "common/Error.h"
#include "common/NumberText.h"
#include "common/PathText.h"
#include "gcode/JobSink.h"
#include "material/LabelFont.h"
#include "material/TestGrid.h"
#include "material/ToneRamp.h"
#include "ui_TfrmMaterialTest.h"

namespace {

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace

TfrmMaterialTest::TfrmMaterialTest(Context context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(std::move(context)),
      ui_(std::make_unique<Ui::TfrmMaterialTest>())
{
    ui_->setupUi(this);
    ui_->edtGridPowerFrom->setText(QStringLiteral("10"));
    ui_->edtGridPowerTo->setText(QStringLiteral("100"));
    ui_->edtGridPowerCount->setText(QStringLiteral("10"));
    ui_->edtGridSpeedCount->setText(QStringLiteral("5"));
    ui_->edtGridSize->setText(QStringLiteral("5"));
    ui_->lblGridNote->setText(
        pyrolith::LabelFontAvailable()
            ? tr("Squares 2 mm apart at the distance per pixel, each at its power and speed, "
                 "labelled at the lowest power. Empty speeds: a quarter of the Laser On "
                 "speed to all of it.")
            : tr("This build has no label font: the grid is burned without labels (powers "
                 "rise to the right, speeds downward). Empty speeds: a quarter of the Laser "
                 "On speed to all of it."));
    connect(ui_->btnSaveGrid, &QPushButton::clicked, this, &TfrmMaterialTest::btnSaveGridClick);
    connect(ui_->btnSaveRamp, &QPushButton::clicked, this, &TfrmMaterialTest::btnSaveRampClick);
    connect(ui_->btnClose, &QPushButton::clicked, this, &QWidget::close);
}

TfrmMaterialTest::~TfrmMaterialTest() = default;

void TfrmMaterialTest::showFor(QWidget* owner)
{
    const pyrolith::JobSettings settings = context_.settings();
    const QString speed = QString::fromStdString(settings.OnSpeed);
    ui_->edtGridSpeedFrom->setPlaceholderText(tr("%1 / 4").arg(speed));
    ui_->edtGridSpeedTo->setPlaceholderText(speed);
    if (!isVisible() && owner != nullptr) {
        move(owner->geometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

QString TfrmMaterialTest::saveAs(const QString& name)
{
    UserDialogs::FileRequest request;
    request.folder = folder_;
    request.fileName = name;
    request.filter = QStringLiteral("G-code (*.gcode);;Text (*.txt);;Any File (*)");
    request.defaultSuffix = QStringLiteral("gcode");
    const QString path = context_.dialogs->saveFile(this, request);
    if (!path.isEmpty()) {
        folder_ = QFileInfo(path).absolutePath();
    }
    return path;
}

void TfrmMaterialTest::report(const std::exception& error, const std::string& key)
{
    context_.dialogs->message(this, QString::fromStdString(error.what()));
    if (!key.empty() && context_.showField) {
        context_.showField(key);
    }
}

void TfrmMaterialTest::btnSaveGridClick()
{
    pyrolith::TestGridOptions options;
    const auto range = [](const QLineEdit* from, const QLineEdit* to, const QLineEdit* count) {
        return pyrolith::ParseGridRange((from->text() + u':' + to->text() + u':' + count->text())
                                            .toStdString());
    };
    const std::optional<pyrolith::GridRange> powers =
        range(ui_->edtGridPowerFrom, ui_->edtGridPowerTo, ui_->edtGridPowerCount);
    if (!powers) {
        context_.dialogs->message(this, tr("The powers need two numbers and a whole number of "
                                           "columns."));
        return;
    }
    options.powers = *powers;
    if (!ui_->edtGridSpeedFrom->text().trimmed().isEmpty() ||
        !ui_->edtGridSpeedTo->text().trimmed().isEmpty()) {
        options.speeds = range(ui_->edtGridSpeedFrom, ui_->edtGridSpeedTo, ui_->edtGridSpeedCount);
        if (!options.speeds) {
            context_.dialogs->message(this, tr("The speeds need two numbers and a whole number "
                                               "of rows, or none for the Laser On speed."));
            return;
        }
    } else {
        const pyrolith::JobSettings settings = context_.settings();
        bool whole = false;
        const int rows = ui_->edtGridSpeedCount->text().toInt(&whole);
        const double on = pyrolith::MyStrtoFloat(settings.OnSpeed);
        options.speeds = pyrolith::GridRange{on / 4, on, whole && rows > 0 ? rows : 5};
    }
    const std::optional<double> size =
        pyrolith::ReadTypedNumber(ui_->edtGridSize->text().toStdString(), '.');
    if (!size) {
        context_.dialogs->message(this, tr("The square side is not a number."));
        return;
    }
    options.squareMm = *size;
    const QString path = saveAs(QStringLiteral("material-test.gcode"));
    if (path.isEmpty()) {
        return;
    }
    pyrolith::JobEnvironment environment = context_.environment();
    environment.imageFileName = "Material test grid";
    options.title = (context_.profileName() + QStringLiteral("  ")).toStdString() + environment.date;
    save(path, [&](pyrolith::JobSink& sink) {
        pyrolith::WriteTestGridJob(sink, context_.settings(), options, environment);
    });
}

void TfrmMaterialTest::btnSaveRampClick()
{
    const QString path = saveAs(QStringLiteral("tone-ramp.gcode"));
    if (path.isEmpty()) {
        return;
    }
    save(path, [&](pyrolith::JobSink& sink) {
        pyrolith::WriteToneRampJob(sink, context_.settings(), context_.environment());
    });
}

void TfrmMaterialTest::save(const QString& path,
                            const std::function<void(pyrolith::JobSink&)>& write)
{
    pyrolith::StringJobSink job;
    try {
        WaitCursor wait;
        write(job);
    } catch (const pyrolith::Error& error) {
        report(error, error.fieldKey());
        return;
    }
    if (context_.confirmJob && !context_.confirmJob(job.text())) {
        return;
    }
    try {
        WaitCursor wait;
        pyrolith::FileJobSink file(pyrolith::PathFromUtf8(path.toStdString()));
        file.append(job.text());
        file.commit();
    } catch (const pyrolith::Error& error) {
        report(error, error.fieldKey());
        return;
    }
    context_.showJob(path);
}
