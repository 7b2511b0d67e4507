#include "app/TfrmSettings.h"

#include "app/TMachineSettings.h"
#include "outline/CutOutline.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <utility>

#include "app/EngravingGroup.h"
#include "app/CompactLinesOption.h"
#include "app/LaserSyncOption.h"
#include "app/TImageGroup.h"
#include "app/TToneCurveGroup.h"
#include "app/UserDialogs.h"
#include "app/WindowPlacement.h"
#include "common/AsciiCase.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsFiles.h"
#include "app/NumberKeyFilter.h"
#include "ui_TfrmSettings.h"

using pyrolith::FieldInfo;
using pyrolith::FieldKind;

const QString TfrmSettings::kNoProfileLabel = QStringLiteral("<none loaded>");
const QString TfrmSettings::kProfileFilter = QStringLiteral("Quellin Profiles (*.prf)");

namespace {

// The two fields of JobSettings that no file holds: they keep their window values until the
// program ends, whatever profile is loaded.
// clang-format off
const std::array<FieldInfo, 2> kWindowOnlyFields = {{
    {"IndicateLeftCenter",  "chkDoLeftCenter", "", FieldKind::Flag,  &pyrolith::JobSettings::IndicateLeftCenter,  "0",    std::nullopt, std::nullopt},
    {"LeftCenterDwellTime", "edtDwellTime3",   "", FieldKind::Whole, &pyrolith::JobSettings::LeftCenterDwellTime, "5000", std::nullopt, std::nullopt},
}};
// clang-format on

// Flags whose change does not mark the profile modified. The unit has its own rule (the
// unit switch marks it).
bool ChangeCounts(const FieldInfo& field)
{
    return field.key != "UseG0" && field.key != "IndicateLeftCenter" &&
           field.key != "AutoLoadProfile";
}

// A radio pair that a false value leaves with neither button checked: the raster choice,
// whose false value no button of the window shows.
bool FalseChecksNeither(const FieldInfo& field)
{
    return field.key == "Optimize";
}

// The fields that change the black-and-white image (DistPerPixel only through a resize width).
bool ChangesPicture(const FieldInfo& field)
{
    for (const std::string_view key : {"ImageMode", "Threshold", "Brightness", "Contrast", "Gamma",
                                       "Invert", "ResizeWidth", "DistPerPixel", "ToneCurve"}) {
        if (field.key == key) {
            return true;
        }
    }
    return false;
}

bool IsNumberKind(FieldKind kind)
{
    return kind == FieldKind::Whole || kind == FieldKind::Decimal ||
           kind == FieldKind::SignedDecimal;
}

std::filesystem::path ToPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

// The record keeps the lines of a memo separated by CR LF; the memo separates them by LF.
QString LinesToMemo(const std::string& lines)
{
    QString text = ToQString(lines);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

std::string MemoToLines(const QString& memo)
{
    QString text = memo;
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text.toStdString();
}

// The engraving options have widgets of their own, placed on their pages here: the group
// below the others on the "Image" page, each flavour's option under its notes.
void InsertEngravingControls(Ui::TfrmSettings& ui)
{
    auto* image = qobject_cast<QGridLayout*>(ui.tabImage->layout());
    image->addWidget(new EngravingGroup(ui.tabImage), image->rowCount(), 0, 1, 2);
    auto* flavor = qobject_cast<QBoxLayout*>(ui.tabFlavor->layout());
    flavor->insertWidget(flavor->indexOf(ui.lblPrinterNotes) + 1,
                         new LaserSyncOption(ui.tabFlavor));
    flavor->insertWidget(flavor->indexOf(ui.lblGrblNotes) + 1, new CompactLinesOption(ui.tabFlavor));
}

void SetRadioPairUnchecked(QAbstractButton* first, QAbstractButton* second)
{
    for (QAbstractButton* button : {first, second}) {
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(exclusive);
    }
}

} // namespace

TfrmSettings::TfrmSettings(Context context, QWidget* parent)
    : QWidget(parent), context_(std::move(context)), ui_(std::make_unique<Ui::TfrmSettings>())
{
    Q_ASSERT(context_.dialogs != nullptr);
    ui_->setupUi(this);
    (new TImageGroup(ui_->tabImage))->insertInto(ui_->layImage);
    (new TToneCurveGroup(ui_->tabImage))->insertInto(ui_->layImage);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto* machine = new TMachineSettings(ui_->pgcSettings);
    machine->setObjectName(QStringLiteral("tabMachine"));
    ui_->pgcSettings->addTab(machine, QStringLiteral("Machine"));

    InsertEngravingControls(*ui_);
    // A build without the tracer cuts along the print area only.
    ui_->rdoCutOutlineImage->setEnabled(pyrolith::outline::PictureOutlineAvailable());
    keyFilter_ = new NumberKeyFilter(
        context_.decimalSeparator, [this] { setProfileModified(true); }, this);
    bindControls();
    showRecords();
    setProfileLabel(kNoProfileLabel);
    setProfileModified(false);

    connect(ui_->btnDone, &QPushButton::clicked, this, &TfrmSettings::btnDoneClick);
    connect(ui_->btnLoadProfile, &QPushButton::clicked, this, &TfrmSettings::btnLoadProfileClick);
    connect(ui_->btnSaveProfile, &QPushButton::clicked, this, &TfrmSettings::btnSaveProfileClick);

    ui_->pgcSettings->setCurrentWidget(ui_->tabBasics);
    startupRead();
}

TfrmSettings::~TfrmSettings() = default;

const pyrolith::JobSettings& TfrmSettings::jobSettings() const
{
    return job_;
}

pyrolith::AppSettings& TfrmSettings::appSettings()
{
    return app_;
}

// Every stored field with a control, and the two window-only fields, bound through their
// control names.
void TfrmSettings::bindControls()
{
    const auto bind = [this](const FieldInfo& field) {
        if (field.control.empty()) {
            return;
        }
        const QString name = QString::fromLatin1(field.control.data(), field.control.size());
        Binding binding;
        binding.field = &field;
        if (field.isFlag()) {
            binding.button = findChild<QAbstractButton*>(name);
            if (!field.pairControl.empty()) {
                binding.pair = findChild<QAbstractButton*>(
                    QString::fromLatin1(field.pairControl.data(), field.pairControl.size()));
                Q_ASSERT(binding.pair != nullptr);
            }
            Q_ASSERT(binding.button != nullptr);
        } else if (field.kind == FieldKind::Lines) {
            binding.memo = findChild<QPlainTextEdit*>(name);
            Q_ASSERT(binding.memo != nullptr);
        } else if (field.kind == FieldKind::Choice) {
            binding.choice = findChild<QComboBox*>(name);
            Q_ASSERT(binding.choice != nullptr);
        } else {
            binding.edit = findChild<QLineEdit*>(name);
            Q_ASSERT(binding.edit != nullptr);
        }
        bindings_.push_back(binding);
    };
    for (const FieldInfo& field : pyrolith::StoredFields()) {
        bind(field);
    }
    for (const FieldInfo& field : kWindowOnlyFields) {
        bind(field);
    }
    for (const Binding& binding : bindings_) {
        if (binding.field->isFlag()) {
            bindFlag(binding);
        } else {
            bindText(binding);
        }
    }
}

void TfrmSettings::bindFlag(const Binding& binding)
{
    if (binding.pair == nullptr) {
        connect(binding.button, &QAbstractButton::toggled, this,
                [this, binding](bool) { fieldChanged(binding); });
        return;
    }
    // A radio pair changes when one of its buttons becomes checked.
    for (QAbstractButton* button : {binding.button, binding.pair}) {
        connect(button, &QAbstractButton::toggled, this, [this, binding](bool checked) {
            if (checked) {
                fieldChanged(binding);
            }
        });
    }
}

void TfrmSettings::bindText(const Binding& binding)
{
    if (binding.choice != nullptr) {
        connect(binding.choice, &QComboBox::currentIndexChanged, this,
                [this, binding] { fieldChanged(binding); });
        return;
    }
    if (binding.memo != nullptr) {
        connect(binding.memo, &QPlainTextEdit::textChanged, this,
                [this, binding] { fieldChanged(binding); });
        return;
    }
    connect(binding.edit, &QLineEdit::textChanged, this,
            [this, binding] { fieldChanged(binding); });
    KeyFilterKind filter{};
    if (KeyFilterOf(binding.field->kind, filter)) {
        keyFilter_->attach(binding.edit, filter);
    }
}

// Sets every control from the records; the controls' change handlers stay quiet meanwhile.
void TfrmSettings::showRecords()
{
    showingRecords_ = true;
    for (const Binding& binding : bindings_) {
        const FieldInfo& field = *binding.field;
        if (field.isFlag()) {
            const bool value = pyrolith::FlagOf(field, std::as_const(job_), std::as_const(app_));
            if (value || binding.pair == nullptr) {
                binding.button->setChecked(value);
            } else if (FalseChecksNeither(field)) {
                SetRadioPairUnchecked(binding.button, binding.pair);
            } else {
                binding.pair->setChecked(true);
            }
        } else if (binding.choice != nullptr) {
            // The item whose word the text is, in any letter case; an unknown word shows the
            // first item.
            const std::string& word =
                pyrolith::TextOf(field, std::as_const(job_), std::as_const(app_));
            int index = 0;
            for (int i = 0; i < binding.choice->count(); ++i) {
                if (pyrolith::EqualNoCase(binding.choice->itemData(i).toString().toStdString(),
                                          word)) {
                    index = i;
                }
            }
            binding.choice->setCurrentIndex(index);
        } else if (binding.memo != nullptr) {
            const QString text =
                LinesToMemo(pyrolith::TextOf(field, std::as_const(job_), std::as_const(app_)));
            if (binding.memo->toPlainText() != text) {
                binding.memo->setPlainText(text);
            }
        } else {
            const QString text =
                ToQString(pyrolith::TextOf(field, std::as_const(job_), std::as_const(app_)));
            if (binding.edit->text() != text) {
                binding.edit->setText(text);
            }
        }
    }
    showingRecords_ = false;
    emit jobSettingsChanged();
}

// A control changed: the record follows it, and the change counts as the rules say.
void TfrmSettings::fieldChanged(const Binding& binding)
{
    if (showingRecords_) {
        return;
    }
    const FieldInfo& field = *binding.field;
    if (field.isFlag()) {
        *pyrolith::FlagOf(field, job_, app_) = binding.button->isChecked();
        emit jobSettingsChanged(); // the record holds the change
        if (ChangesPicture(field)) {
            pictureUpdate();
        }
        if (field.key == "UseInches") {
            unitSwitch();
        } else if (ChangeCounts(field)) {
            setProfileModified(true);
        }
        return;
    }
    std::string* text = pyrolith::TextOf(field, job_, app_);
    if (binding.choice != nullptr) {
        *text = binding.choice->currentData().toString().toStdString();
        if (field.key == "PrinterLaserMode") {
            // the old key of the M400 choice follows, for earlier versions reading the file
            pyrolith::SetPrinterLaser(job_, pyrolith::ParsePrinterLaser(*text).value_or(
                                                pyrolith::PrinterLaser::FanCommands));
        }
    } else if (binding.memo != nullptr) {
        *text = MemoToLines(binding.memo->toPlainText());
    } else {
        *text = binding.edit->text().toStdString();
    }
    emit jobSettingsChanged();
    if (ChangesPicture(field)) {
        pictureUpdate();
    }
    if (!IsNumberKind(field.kind)) {
        setProfileModified(true); // typed or pasted alike
    } else if (field.key == "DistPerPixel") {
        finalSizeUpdate();
    }
    // Other number fields count only keys typed (the key filter marks them).
}

bool TfrmSettings::setFieldText(const QString& key, const QString& text)
{
    for (const Binding& binding : bindings_) {
        if (QString::fromLatin1(binding.field->key.data(), binding.field->key.size()) != key) {
            continue;
        }
        if (binding.choice != nullptr) {
            const int index = binding.choice->findData(text);
            if (index < 0) {
                return false;
            }
            if (index != binding.choice->currentIndex()) {
                binding.choice->setCurrentIndex(index);
                setProfileModified(true);
            }
            return true;
        }
        if (binding.field->isFlag()) {
            // "1" or "0"; the button's change records it.
            if (text != QLatin1String("1") && text != QLatin1String("0")) {
                return false;
            }
            if (text == QLatin1String("1")) {
                binding.button->setChecked(true);
            } else if (binding.pair == nullptr) {
                binding.button->setChecked(false);
            } else {
                binding.pair->setChecked(true);
            }
            return true;
        }
        if (binding.edit == nullptr) {
            return false;
        }
        if (binding.edit->text() != text) {
            binding.edit->setText(text);
            setProfileModified(true);
        }
        return true;
    }
    return false;
}

void TfrmSettings::startupRead()
{
    pyrolith::ReadSettingsFile(ToPath(context_.settingsFile), job_, app_);
    showRecords();
    unitSwitch();
    pictureUpdate();
    setProfileModified(false);
    if (app_.AutoLoadProfile) {
        loadProfile(ToQString(app_.Profile));
    }
}

void TfrmSettings::loadProfile(const QString& path)
{
    pyrolith::LoadProfile(ToPath(path), job_, app_);
    profileLoaded(path);
}

void TfrmSettings::profileLoaded(const QString& path)
{
    app_.Profile = path.toStdString();
    showRecords();
    unitSwitch();
    pictureUpdate();
    setProfileLabel(ToQString(pyrolith::ProfileLabel(ToPath(path))));
    setProfileModified(false);
}

void TfrmSettings::setProfileModified(bool modified)
{
    profileModified_ = modified;
    ui_->grpProfiles->setTitle(modified ? QStringLiteral("Profiles (modified)")
                                        : QStringLiteral("Profiles"));
}

void TfrmSettings::setProfileLabel(const QString& label)
{
    profileLabel_ = label;
    // A long name is shortened to the width of the profile buttons rather than widening
    // the window; the hint then shows it whole.
    int width = 0;
    for (const QWidget* widget : std::initializer_list<const QWidget*>{
             ui_->btnLoadProfile, ui_->btnSaveProfile, ui_->chkAutoLoadProfile}) {
        width = std::max(width, widget->sizeHint().width());
    }
    const QString shown = ui_->lblProfile->fontMetrics().elidedText(label, Qt::ElideMiddle, width);
    ui_->lblProfile->setText(shown);
    ui_->lblProfile->setToolTip(shown == label ? QString() : label);
}

// The unit changed (picked by the user or set by a file). No number is converted: the same
// digits are now read in the other unit.
void TfrmSettings::unitSwitch()
{
    ui_->grpSpeeds->setTitle(ToQString(std::string(pyrolith::SpeedGroupCaption(job_))));
    const QString unit = ToQString(std::string(pyrolith::UnitWord(job_)));
    for (QLabel* label :
         {ui_->lblStartHeightUnit, ui_->lblXOffsetUnit, ui_->lblYOffsetUnit, ui_->lblBacklashUnit,
          ui_->lblInitialCutHeightUnit, ui_->lblAdvDownUnit, ui_->lblCutKerfUnit,
          findChild<QLabel*>(QStringLiteral("lblResizeWidthUnit")),
          findChild<QLabel*>(QStringLiteral("lblOverscanUnit"))}) {
        label->setText(unit);
    }
    finalSizeUpdate();
    setProfileModified(true);
}

// The black-and-white image follows a change of how it is made.
void TfrmSettings::pictureUpdate()
{
    if (context_.pictureSettingsChanged) {
        context_.pictureSettingsChanged();
    }
}

// Refreshes the main window's final-size line; only counts while a picture is loaded.
void TfrmSettings::finalSizeUpdate()
{
    if (context_.showFinalSize && context_.showFinalSize()) {
        setProfileModified(true);
    }
}

bool TfrmSettings::writeIniFile(const QString& path)
{
    try {
        pyrolith::MakeIniFile(ToPath(path), job_, app_);
        return true;
    } catch (const std::exception&) {
        context_.dialogs->warning(
            this, QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
        return false;
    }
}

void TfrmSettings::writeSettingsFile()
{
    writeIniFile(context_.settingsFile);
}

void TfrmSettings::loadProfileCommand()
{
    UserDialogs::FileRequest request;
    request.folder = context_.profilesFolder;
    request.filter = kProfileFilter;
    request.confirmOverwrite = false;
    const QString path = context_.dialogs->openFile(this, request);
    if (path.isEmpty()) {
        return;
    }
    // A wrong file picked must not throw away every unsaved setting: it is refused whole.
    try {
        pyrolith::LoadChosenProfile(ToPath(path), job_, app_);
    } catch (const std::exception& error) {
        context_.dialogs->warning(this, ToQString(error.what()));
        return;
    }
    profileLoaded(path);
}

void TfrmSettings::saveProfileCommand()
{
    UserDialogs::FileRequest request;
    request.folder = context_.profilesFolder;
    request.filter = kProfileFilter;
    request.defaultSuffix = QStringLiteral("prf"); // a name typed without extension
    request.confirmOverwrite = true;
    if (profileLabel() != kNoProfileLabel) {
        request.fileName = profileLabel();
    }
    const QString path = context_.dialogs->saveFile(this, request);
    if (path.isEmpty()) {
        return;
    }
    // A profile that could not be written does not become current, and the marker keeps
    // saying that the settings are not saved anywhere.
    const std::string previous = app_.Profile;
    app_.Profile = path.toStdString();
    if (!writeIniFile(path)) {
        app_.Profile = previous;
        return;
    }
    setProfileLabel(ToQString(pyrolith::ProfileLabel(ToPath(path))));
    setProfileModified(false);
}

void TfrmSettings::finishRun()
{
    if (finished_) {
        return;
    }
    finished_ = true;
    if (profileModified_ && context_.dialogs->askYesNo(
                                this, QStringLiteral("Save profile (%1)?").arg(profileLabel()))) {
        saveProfileCommand();
    }
    writeSettingsFile();
}

void TfrmSettings::showBeside(QWidget* owner)
{
    if (!placed_ && owner != nullptr) {
        placed_ = true;
        adjustSize();
        if (const QScreen* screen = owner->screen()) {
            const BesidePlacement placement = PlaceBeside(
                owner->frameGeometry(), FrameSize(*this, *owner), screen->availableGeometry());
            if (placement.owner != owner->frameGeometry().topLeft()) {
                owner->move(placement.owner);
            }
            move(placement.window);
        }
    }
    show();
    raise();
    activateWindow();
}

bool TfrmSettings::showField(const QString& key, QWidget* owner)
{
    const auto found = std::find_if(bindings_.begin(), bindings_.end(), [&](const Binding& b) {
        return QString::fromLatin1(b.field->key.data(), static_cast<qsizetype>(b.field->key.size()))
                   .compare(key, Qt::CaseInsensitive) == 0;
    });
    if (found == bindings_.end()) {
        return false;
    }
    QWidget* control = found->edit != nullptr   ? static_cast<QWidget*>(found->edit)
                       : found->memo != nullptr ? static_cast<QWidget*>(found->memo)
                                                : static_cast<QWidget*>(found->button);
    for (QWidget* page = control; page != nullptr; page = page->parentWidget()) {
        if (ui_->pgcSettings->indexOf(page) >= 0) {
            ui_->pgcSettings->setCurrentWidget(page);
            break;
        }
    }
    showBeside(owner);
    control->setFocus(Qt::OtherFocusReason);
    if (found->edit != nullptr) {
        found->edit->selectAll();
    } else if (found->memo != nullptr) {
        found->memo->selectAll();
    }
    return true;
}

void TfrmSettings::closeEvent(QCloseEvent* event)
{
    // "Done" and the close box: every hide writes the settings file. Closed at the end of the
    // run, after the final write, it writes nothing more: one failure, one message.
    if (isVisible() && !finished_) {
        writeSettingsFile();
    }
    QWidget::closeEvent(event);
}

void TfrmSettings::btnDoneClick()
{
    close();
}

void TfrmSettings::btnLoadProfileClick()
{
    loadProfileCommand();
}

void TfrmSettings::btnSaveProfileClick()
{
    saveProfileCommand();
}
