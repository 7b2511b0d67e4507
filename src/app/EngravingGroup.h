#pragma once

#include <QGroupBox>
#include <memory>

namespace Ui {
class EngravingGroup;
}

// The "Engraving" group of the settings window's "Image" page: the power levels of grey
// engraving and the overscan. The settings window binds its fields by their object names.
class EngravingGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit EngravingGroup(QWidget* parent = nullptr);
    ~EngravingGroup() override;

private:
    std::unique_ptr<Ui::EngravingGroup> ui_;
};
