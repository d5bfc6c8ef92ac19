#pragma once
// The environment window: the receive time-out of the drive link.

#include "gui/widgets/FunctionWindow.h"

class CQXCOM;
class QLineEdit;
class QPushButton;

namespace hx::gui {

class CEnvironmentSetting : public FunctionWindow {
    Q_OBJECT
public:
    // link: the program's, whose reply time-out a save sets.
    explicit CEnvironmentSetting(CQXCOM& link, QWidget* parent = nullptr);

    QLineEdit* delayEdit() const { return m_edit; }
    QPushButton* saveButton() const { return m_save; }

    // The save button: true when the value was stored and applied.
    bool save();

private:
    CQXCOM& m_link;
    int m_delay = 5;
    QLineEdit* m_edit;
    QPushButton* m_save;
};

}  // namespace hx::gui
