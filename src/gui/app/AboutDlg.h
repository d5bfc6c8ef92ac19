#pragma once
// The about box: program and drive identity.

#include "gui/widgets/FunctionWindow.h"

class QLabel;

namespace hx::gui {

class CAboutDlg : public FunctionWindow {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* programVersionLabel() const { return m_program; }
    QLabel* driveSoftwareLabel() const { return m_driveSoftware; }
    QLabel* driveModelLabel() const { return m_driveModel; }
    QLabel* noticeLabel() const { return m_notice; }

private:
    QLabel* m_program;
    QLabel* m_motor;
    QLabel* m_driveSoftware;
    QLabel* m_driveModel;
    QLabel* m_notice;
};

}  // namespace hx::gui
