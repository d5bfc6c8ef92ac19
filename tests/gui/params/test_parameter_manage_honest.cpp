// The parameter manager never writes what the user did not mean: a half-read
// table, values outside their ranges, a file of another model; files with
// junk lines say so; the types follow the whole model whatever is listed.

#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <optional>
#include <QTest>

#include "gui/ParameterWindowFixture.h"
#include "core/params/ParameterChecks.h"
#include "core/params/ParameterFile.h"
#include "core/protocol/Registers.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using hx::gui::CListCtrlEx;
using hx::gui::CParameterManage;
using hx::gui::SetFileDialogHook;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

namespace {

// A listed setting of the type whose scope is a range (a copy: the window
// reads its definitions again at every listing).
std::optional<hx::ParameterDefinition> Ranged(const CParameterManage* w, const char* type) {
    for (const auto& d : w->definitions())
        if (hx::IsSettingRegister(d.address) && d.dataType == type && hx::ParseScope(d.scope) &&
            theParameterTable.TestAttribute(d.address) == 1)
            return d;
    return std::nullopt;
}

}  // namespace

TEST(ParameterManageHonest, AFailedReadLeavesWriteDisabledUntilAReadCompletes) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    EXPECT_TRUE(w->writeButton()->isEnabled());

    // The drive stops answering half-way: the read fails.
    theComm.SetReceiveTimeOut(20);
    f.drive->Server().SetFaults(1.0, 0, 0);
    f.messages.clear();
    QTest::mouseClick(w->readButton(), Qt::LeftButton);
    ASSERT_TRUE(f.waitIdle(20000));
    EXPECT_TRUE(f.messages.lastText().contains("Batch reading error!")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.messages.lastText().contains("no answer")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(w->readButton()->isEnabled()) << "the user can read again";
    EXPECT_FALSE(w->writeButton()->isEnabled()) << "a half-read table never goes over the drive";
    EXPECT_FALSE(w->tableComplete());
    // Even called directly, the write refuses.
    f.drive->Drive().ClearRequests();
    w->StartWriteAll();
    EXPECT_FALSE(w->busy());
    for (const auto& r : f.sim().Requests()) EXPECT_NE(r.function, 16);

    f.drive->Server().SetFaults(0, 0, 0);
    QTest::mouseClick(w->readButton(), Qt::LeftButton);
    ASSERT_TRUE(f.waitIdle());
    EXPECT_TRUE(w->writeButton()->isEnabled());
}

TEST(ParameterManageHonest, OutOfRangeValuesAndOtherModelsAreMarkedAndAskedAbout) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    const auto d = Ranged(w, "SHORT");
    ASSERT_TRUE(d.has_value());
    const auto range = *hx::ParseScope(d->scope);

    // A file with a value above its range and junk lines, from another model.
    const QString path = QString::fromStdString(f.folder.File("odd.qxr"));
    std::string text = "DriveType=HX-OTHER-9\r\nDriveVerssion=1.0\r\nDescription=\r\n";
    text += std::to_string(d->address) + "=" + std::to_string(range.max + 1) + "\r\n";
    text += "65536=1\r\nabc=2\r\n";
    hx::test::WriteFileBytes(path.toStdString(), text);
    SetFileDialogHook([&](const hx::gui::FileDialogRequest&) { return path; });
    f.messages.clear();
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 2u);
    EXPECT_EQ(f.messages.records[0].caption, "参数列表信息");
    EXPECT_TRUE(f.messages.lastText().contains("跳过 2")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.messages.lastText().contains("65536=1")) << f.messages.lastText().toStdString();

    CListCtrlEx* list = w->parameterList();
    const int row = list->rowOfAddress(d->address);
    ASSERT_GE(row, 0);
    EXPECT_TRUE(list->rowOutOfRange(row));
    EXPECT_EQ(list->rowBackground(row), CListCtrlEx::OutOfRangeColor());
    EXPECT_TRUE(list->item(row, CListCtrlEx::ValueColumn)->toolTip().contains(QString::fromStdString(d->scope)));
    w->grab().save(QString::fromStdString(hx::test::BuildBinFolder() + "/../param-out-of-range.png"));

    // "写参数" asks; No sends nothing.
    f.messages.clear();
    f.messages.answers = {false};
    f.sim().ClearRequests();
    QTest::mouseClick(w->writeButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 1u);
    EXPECT_TRUE(f.messages.lastText().contains("超出取值范围")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.messages.lastText().contains("HX-OTHER-9")) << f.messages.lastText().toStdString();
    EXPECT_FALSE(w->busy());
    for (const auto& r : f.sim().Requests()) EXPECT_NE(r.function, 16);
    // Yes sends it; the drive itself refuses the value outside the range.
    f.messages.answers = {true};
    QTest::mouseClick(w->writeButton(), Qt::LeftButton);
    ASSERT_TRUE(f.waitIdle(20000));
    EXPECT_NE(f.sim().Ram(d->address), static_cast<uint16_t>(range.max + 1));
}

TEST(ParameterManageHonest, TypesDescribeTheWholeModelWhateverIsListed) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    const auto u = Ranged(w, "USHORT");
    ASSERT_TRUE(u.has_value());
    // Choose a category that does not hold the unsigned parameter.
    int other = -1;
    for (int i = 1; i < w->categoryList()->count(); ++i)
        if (w->categoryList()->item(i)->text().toStdString() != u->pageNumber) {
            other = i;
            break;
        }
    ASSERT_GT(other, 0);
    w->categoryList()->setCurrentRow(other);
    EXPECT_LT(w->parameterList()->rowOfAddress(u->address), 0);
    EXPECT_TRUE(theParameterTable.IsUShort(u->address));
    theParameterTable.SetValue(u->address, 65000);
    EXPECT_EQ(theParameterTable.GetValue(u->address), 65000);
}

TEST(ParameterManageHonest, WithoutDefinitionsFilesAreRefused) {
    ParameterWindowFixture f;
    g_driveModel = "NO_SUCH_MODEL";  // its definition table does not exist
    CParameterManage* w = f.open();
    EXPECT_TRUE(w->definitions().empty());
    bool asked = false;
    SetFileDialogHook([&](const hx::gui::FileDialogRequest&) {
        asked = true;
        return QString::fromStdString(f.folder.File("x.qxr"));
    });
    f.messages.clear();
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.lastText().contains("参数定义")) << f.messages.lastText().toStdString();
    f.messages.clear();
    QTest::mouseClick(w->saveAsButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.lastText().contains("参数定义")) << f.messages.lastText().toStdString();
    EXPECT_FALSE(asked);
    EXPECT_FALSE(std::filesystem::exists(f.folder.File("x.qxr")));
}
