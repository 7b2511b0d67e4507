#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class CompactLinesOption;
}

// GRBL's option on the settings window's "GCode Flavor" page: compact lines, which the
// controller takes faster. The settings window binds it by its object name.
class CompactLinesOption : public QWidget {
    Q_OBJECT
public:
    explicit CompactLinesOption(QWidget* parent = nullptr);
    ~CompactLinesOption() override;

private:
    std::unique_ptr<Ui::CompactLinesOption> ui_;
};
