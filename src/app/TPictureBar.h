#pragma once

#include <QWidget>

#include "settings/JobSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;

// The bar above the main window's views with the three settings a picture is tried with: the
// picture mode, the threshold and the engraved width. It holds no setting of its own: it
// shows the settings window's and hands every edit on, so a change in either place shows in
// both. The number fields filter keys as the settings window's do.
class TPictureBar : public QWidget {
    Q_OBJECT
public:
    explicit TPictureBar(QChar decimalSeparator, QWidget* parent = nullptr);

    // Shows the settings; a field keeps the text being typed into it while it reads the same.
    void showSettings(const pyrolith::JobSettings& settings);

signals:
    // The user changed a setting here: its settings key and its new text.
    void fieldEdited(const QString& key, const QString& text);

private:
    void modeShown();

    QComboBox* mode_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
    QLineEdit* threshold_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLabel* widthUnit_ = nullptr;
};
