// The comparison window: the snapshot at opening against files.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTreeWidget>

#include "gui/ParameterWindowFixture.h"
#include "core/params/ParameterFile.h"
#include "gui/params/ParameterCompare.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using namespace hx::test;

namespace {

// The file dialog answers with the given path.
void answerDialogWith(const QString& path) {
    SetFileDialogHook([path](const FileDialogRequest&) { return path; });
}

QStringList rowTexts(QTreeWidget* list, int row) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c) out << list->topLevelItem(row)->text(c);
    return out;
}

// A table with the KRV4 types and attribute bits as a listing gives them.
struct TableFixture {
    TableFixture() {
        theParameterTable = CParameter();
        g_driveModel = "KRV4";
        g_firmwareVersion = 200.0f;
        g_accessLevel = AccessLevel::Ordinary;
        std::vector<uint8_t> visible(CParameter::kAttributeBytes, 0xFF);
        theParameterTable.LoadAttributes(visible.data(), CParameter::kAttributeBytes);
        theParameterTable.SetAttribute(39, 0);  // Pr6.01, administrator only
        for (int i = 0; i < CParameter::kSlots; ++i)
            theParameterTable.SetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i)), i % 97);
        manager.resize(200, 100);
    }
    ~TableFixture() {
        SetFileDialogHook({});
        g_accessLevel = AccessLevel::Ordinary;
    }
    std::string save(const std::string& name) {
        const std::string path = folder.File(name);
        std::string error;
        EXPECT_TRUE(hx::SaveParameterFile(path, theParameterTable, {"HX", "1.5", ""}, &error)) << error;
        return path;
    }

    TempProgramFolder folder;
    MessageRecorder messages;
    QWidget manager;
};

}  // namespace

TEST(ParameterCompare, SnapshotAgainstAFileSavedThroughTheManager) {
    ParameterWindowFixture f;
    f.sim().SetRam(2, 4321);
    CParameterManage* w = f.open();
    const QString path = QString::fromStdString(f.folder.File("now.qxr"));
    answerDialogWith(path);
    AnswerMemo("");
    QTest::mouseClick(w->saveAsButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.lastText(), "另存参数文件完成！");

    QTest::mouseClick(w->compareButton(), Qt::LeftButton);
    auto* compare = w->findChild<CParameterCompare*>();
    ASSERT_NE(compare, nullptr);
    EXPECT_TRUE(compare->isWindow());
    EXPECT_EQ(compare->parentWidget(), w);
    EXPECT_TRUE(compare->currentRadio()->isChecked());
    EXPECT_FALSE(compare->chooseOneButton()->isEnabled());
    EXPECT_FALSE(compare->fileOneEdit()->isEnabled());

    answerDialogWith(path);
    QTest::mouseClick(compare->chooseTwoButton(), Qt::LeftButton);
    EXPECT_EQ(compare->fileTwoEdit()->text(), "now.qxr");
    f.messages.clear();
    QTest::mouseClick(compare->compareButton(), Qt::LeftButton);
    EXPECT_EQ(f.messages.lastText(), "两份参数完全相同！");
    EXPECT_EQ(compare->differenceList()->topLevelItemCount(), 0);

    // Each press opens another window.
    QTest::mouseClick(w->compareButton(), Qt::LeftButton);
    EXPECT_EQ(w->findChildren<CParameterCompare*>().size(), 2);
}

TEST(ParameterCompare, NotReadySetsAreSaidAndDifferencesListedAsTheManagerListsThem) {
    TableFixture t;
    auto* compare = new CParameterCompare(&t.manager);
    compare->show();
    QTest::mouseClick(compare->compareButton(), Qt::LeftButton);
    EXPECT_EQ(t.messages.lastText(), "参数列表二尚未准备好，请选择读入参数!");

    QTest::mouseClick(compare->otherRadio(), Qt::LeftButton);
    EXPECT_TRUE(compare->chooseOneButton()->isEnabled());
    EXPECT_TRUE(compare->fileOneEdit()->isEnabled());
    QTest::mouseClick(compare->compareButton(), Qt::LeftButton);
    EXPECT_EQ(t.messages.lastText(), "参数列表一尚未准备好，请选择读入参数!");

    // A file that cannot be read is named, and its set stays not ready.
    answerDialogWith(QString::fromStdString(t.folder.File("gone.qxr")));
    QTest::mouseClick(compare->chooseOneButton(), Qt::LeftButton);
    EXPECT_TRUE(t.messages.lastText().contains("gone.qxr")) << t.messages.lastText().toStdString();
    EXPECT_FALSE(compare->setOne().ready);

    QTest::mouseClick(compare->currentRadio(), Qt::LeftButton);
    EXPECT_TRUE(compare->setOne().ready);
    EXPECT_FALSE(compare->chooseOneButton()->isEnabled());

    // The differences, listed as the manager lists the parameters (what a
    // file without an address compares is the comparison's own test). The
    // snapshot was taken at opening; later changes are not in it.
    const int32_t before = theParameterTable.GetValue(2);
    theParameterTable.SetValue(2, 7777);
    theParameterTable.SetValue(39, 5555);  // hidden from an ordinary user
    const std::string changed = t.save("changed.qxr");

    answerDialogWith(QString::fromStdString(changed));
    QTest::mouseClick(compare->chooseTwoButton(), Qt::LeftButton);
    t.messages.clear();
    QTest::mouseClick(compare->compareButton(), Qt::LeftButton);
    QTreeWidget* list = compare->differenceList();
    EXPECT_TRUE(t.messages.records.empty()) << t.messages.lastText().toStdString();
    EXPECT_EQ(list->columnCount(), 5);
    EXPECT_TRUE(list->isColumnHidden(1));
    ASSERT_EQ(list->topLevelItemCount(), 1) << "39 differs but is not shown at the ordinary level";
    EXPECT_EQ(rowTexts(list, 0), (QStringList{"2", "P0 基本设定", "Pr0.02", QString::number(before), "7777"}));

    g_accessLevel = AccessLevel::Administrator;
    QTest::mouseClick(compare->compareButton(), Qt::LeftButton);
    EXPECT_EQ(list->topLevelItemCount(), 2);
}
