#pragma once

#include <QGroupBox>
#include <memory>

class QComboBox;
namespace Ui {
class TImageGroup;
}

// Fills a list with the picture modes: their captions, each with the settings file's word as
// its data.
void AddImageModes(QComboBox& list);
// Puts a group into a grid page below its other groups, above the page's last spacer.
void InsertIntoPage(QWidget* group, class QGridLayout* page);

// The group of the settings window's "Image" page that says how the picture becomes black and
// white: the mode, the threshold, the four adjustments of the grey level and the engraved
// width. The settings window binds its controls to the settings by their names like any
// other; the group only fills the mode list and enables what the chosen mode uses.
class TImageGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TImageGroup(QWidget* parent = nullptr);
    ~TImageGroup() override;

    // Puts the group into a grid page below its other groups, above the page's last spacer.
    void insertInto(class QGridLayout* page);

private:
    void modeChanged();

    std::unique_ptr<Ui::TImageGroup> ui_;
};
