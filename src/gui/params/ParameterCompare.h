#pragma once
// The comparison window: set one is the parameter table as it stood when the
// window opened, or a parameter file; set two is a parameter file. "开始比较"
// lists the parameters whose values differ, as the manager lists them (the
// model's own definition table when the model is known).

#include <QWidget>

#include "core/db/CADO.h"
#include "core/params/ParameterComparison.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace hx::gui {

class CParameterCompare : public QWidget {
    Q_OBJECT
public:
    // A window of its own over the manager; each call makes a new one.
    explicit CParameterCompare(QWidget* manager);

    void UseCurrentAsSetOne();
    void UseFileAsSetOne();
    // The open dialog "驱动器数据", then the file into the set.
    void LoadCompareFile(int set);
    void Compare();

    const hx::ParameterSet& snapshot() const { return m_snapshot; }
    const hx::ParameterSet& setOne() const { return m_set1; }
    const hx::ParameterSet& setTwo() const { return m_set2; }

    QRadioButton* currentRadio() const { return m_current; }
    QRadioButton* otherRadio() const { return m_other; }
    QLineEdit* fileOneEdit() const { return m_file1; }
    QLineEdit* fileTwoEdit() const { return m_file2; }
    QPushButton* chooseOneButton() const { return m_choose1; }
    QPushButton* chooseTwoButton() const { return m_choose2; }
    QPushButton* compareButton() const { return m_compare; }
    QPushButton* cancelButton() const { return m_cancel; }
    QTreeWidget* differenceList() const { return m_list; }

private:
    CADO m_db;
    hx::ParameterSet m_snapshot;
    hx::ParameterSet m_set1;
    hx::ParameterSet m_set2;

    QRadioButton* m_current;
    QRadioButton* m_other;
    QLineEdit* m_file1;
    QPushButton* m_choose1;
    QLineEdit* m_file2;
    QPushButton* m_choose2;
    QPushButton* m_compare;
    QPushButton* m_cancel;
    QTreeWidget* m_list;
};

}  // namespace hx::gui
