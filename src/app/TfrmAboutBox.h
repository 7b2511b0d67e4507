#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TfrmAboutBox;
}

// The about window: the program's name and version, the copyright notice, the distributor
// and the support address. Created hidden at start-up, shown modally by "About...".
class TfrmAboutBox : public QDialog {
    Q_OBJECT
public:
    // openUrl: the shell's open operation for the links (its result is not reported).
    TfrmAboutBox(const QString& versionText, std::function<bool(const QUrl&)> openUrl,
                 QWidget* parent = nullptr);
    ~TfrmAboutBox() override;

public slots:
    void CopyrightClick();
    void Image1Click();
    void Label4Click();
    void OKButtonClick();

private:
    void FormCreate(const QString& versionText);

    std::unique_ptr<Ui::TfrmAboutBox> ui_;
    std::function<bool(const QUrl&)> openUrl_;
};
