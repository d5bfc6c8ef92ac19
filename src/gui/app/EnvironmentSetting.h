#pragma once
// The environment window: the receive time-out of the drive link.

#include "gui/widgets/FunctionWindow.h"

class QLineEdit;
class QPushButton;

namespace hx::gui {

class CEnvironmentSetting : public FunctionWindow {
    Q_OBJECT
public:
    explicit CEnvironmentSetting(QWidget* parent = nullptr);

    QLineEdit* delayEdit() const { return m_edit; }
    QPushButton* saveButton() const { return m_save; }

    // The save button: true when the value was stored and applied.
    bool save();

private:
    int m_delay = 5;
    QLineEdit* m_edit;
    QPushButton* m_save;
};

}  // namespace hx::gui
