#include "gui/app/AboutDlg.h"

#include <QDate>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"

namespace hx::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : FunctionWindow(tr("平台信息"), LinkUse::Free, parent) {
    auto* form = new QFormLayout;
    // The one version of the program, as --version and the package give it
    // (not "1.0" for drives outside the model family: that was no version).
    m_program = new QLabel(QString::fromLatin1(g_programVersion));
    m_motor = new QLabel;
    m_driveSoftware = new QLabel(QString::fromStdString(g_driveSoftVersion));
    m_driveModel = new QLabel(QString::fromStdString(g_displayModel));
    if (g_productModel == hx::LoadString(50002)) m_driveModel->setStyleSheet("color: rgb(255, 0, 0);");
    form->addRow(tr("电脑软件:"), m_program);
    form->addRow(tr("电机型号:"), m_motor);
    form->addRow(tr("驱动器软件:"), m_driveSoftware);
    form->addRow(tr("驱动器型号:"), m_driveModel);

    m_notice = new QLabel(tr("Halvex Configurator 版权所有 (C) %1").arg(QDate::currentDate().year()));
    auto* ok = new QPushButton(tr("确 定"));
    connect(ok, &QPushButton::clicked, this, &FunctionWindow::closeWindow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_notice);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace hx::gui
