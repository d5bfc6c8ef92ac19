#include "gui/params/ParameterCompare.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "gui/params/ParameterFileDialog.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/ProgramDatabase.h"

namespace hx::gui {

CParameterCompare::CParameterCompare(QWidget* manager) : QWidget(manager, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("参数比较"));

    auto* choice = new QGroupBox(tr("选择比较"));
    m_current = new QRadioButton(tr("当前参数一"));
    m_other = new QRadioButton(tr("另选参数一"));
    m_file1 = new QLineEdit;
    m_file1->setReadOnly(true);
    m_choose1 = new QPushButton(tr("选择参数一"));
    m_file2 = new QLineEdit;
    m_file2->setReadOnly(true);
    m_choose2 = new QPushButton(tr("选择参数二"));
    auto* grid = new QGridLayout(choice);
    grid->addWidget(m_current, 0, 0);
    grid->addWidget(m_other, 1, 0);
    grid->addWidget(m_file1, 1, 1);
    grid->addWidget(m_choose1, 1, 2);
    grid->addWidget(new QLabel(tr("选择参数二")), 2, 0);
    grid->addWidget(m_file2, 2, 1);
    grid->addWidget(m_choose2, 2, 2);

    m_compare = new QPushButton(tr("开始比较"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));

    m_list = new QTreeWidget;
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnCount(5);
    m_list->setHeaderLabels({tr("参数地址"), tr("参数编号"), tr("参数名称"), tr("参数值一"), tr("参数值二")});
    m_list->header()->setMinimumSectionSize(0);
    const int widths[5] = {100, 0, 300, 150, 150};
    for (int c = 0; c < 5; ++c) m_list->setColumnWidth(c, widths[c]);
    // The category column is kept for the row and never seen.
    m_list->setColumnHidden(1, true);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    m_list->setFont(f);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_compare);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addLayout(buttons);
    layout->addWidget(m_list, 1);
    resize(760, 520);

    connect(m_current, &QRadioButton::clicked, this, &CParameterCompare::UseCurrentAsSetOne);
    connect(m_other, &QRadioButton::clicked, this, &CParameterCompare::UseFileAsSetOne);
    connect(m_choose1, &QPushButton::clicked, this, [this] { LoadCompareFile(1); });
    connect(m_choose2, &QPushButton::clicked, this, [this] { LoadCompareFile(2); });
    connect(m_compare, &QPushButton::clicked, this, &CParameterCompare::Compare);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);

    m_snapshot = hx::SnapshotTable(theParameterTable);
    m_current->setChecked(true);
    UseCurrentAsSetOne();
    OpenProgramDatabase(m_db, this);
}

void CParameterCompare::UseCurrentAsSetOne() {
    m_file1->setEnabled(false);
    m_choose1->setEnabled(false);
    m_set1 = m_snapshot;
    m_set1.ready = true;
}

void CParameterCompare::UseFileAsSetOne() {
    m_file1->setEnabled(true);
    m_choose1->setEnabled(true);
    m_file1->clear();
    m_set1.ready = false;
}

void CParameterCompare::LoadCompareFile(int set) {
    const QString path = AskParameterFileToOpen(this, tr("驱动器数据"));
    if (path.isEmpty()) return;
    hx::ParameterSet& target = set == 1 ? m_set1 : m_set2;
    QLineEdit* field = set == 1 ? m_file1 : m_file2;
    field->setText(QFileInfo(path).fileName());
    field->setToolTip(path);
    std::string error;
    if (!hx::LoadCompareSet(QFile::encodeName(path).toStdString(), &target, &error)) {
        target.ready = false;
        ShowMessage(this, QString::fromStdString(error), tr("驱动器数据"), MessageIcon::Warning);
    }
}

void CParameterCompare::Compare() {
    try {
        const hx::ComparisonResult result = hx::CompareSets(m_db, m_set1, m_set2, g_driveModel, g_firmwareVersion,
                                                            g_accessLevel, theParameterTable);
        switch (result.outcome) {
        case hx::CompareOutcome::SetOneNotReady:
            ShowMessage(this, tr("参数列表一尚未准备好，请选择读入参数!"), tr("参数值一"));
            return;
        case hx::CompareOutcome::SetTwoNotReady:
            ShowMessage(this, tr("参数列表二尚未准备好，请选择读入参数!"), tr("参数值二"));
            return;
        case hx::CompareOutcome::RecordsetClosed:
            m_list->clear();
            ShowMessage(this, QStringLiteral("Recordset State is closed"));
            return;
        case hx::CompareOutcome::Compared: break;
        }
        m_list->clear();
        QList<QTreeWidgetItem*> rows;
        for (const hx::ComparisonRow& row : result.rows) {
            rows << new QTreeWidgetItem(QStringList{QString::number(row.address), QString::fromStdString(row.pageNumber),
                                                    QString::fromStdString(row.name), QString::number(row.value1),
                                                    QString::number(row.value2)});
        }
        m_list->addTopLevelItems(rows);
        if (rows.isEmpty()) ShowMessage(this, tr("两份参数完全相同！"));
    } catch (const DbError& e) {
        ShowDatabaseError(this, e.Description());
    }
}

}  // namespace hx::gui
