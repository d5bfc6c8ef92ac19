// The parameter manager against the simulated drive over a pseudo-terminal,
// and what it never does without being meant to: write a half-read table,
// values outside their ranges or a file of another model unasked.
#include <gtest/gtest.h>

#include <filesystem>

#include "gui/ParameterWindowFixture.h"
#include "core/text/Cp936.h"
#include "gui/widgets/HelpWindow.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/backup/ChangeHistory.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using hx::sim::VirtualDrive;
using hx::test::AnswerMemo;
using hx::test::DriveAt;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

namespace {

std::vector<uint16_t> readStarts(VirtualDrive& drive) {
    std::vector<uint16_t> starts;
    for (const auto& r : drive.Requests())
        if (r.function == 3 && r.count == 50) starts.push_back(r.address);
    return starts;
}

void typeValue(CListCtrlEx* list, int row, const QString& text) {
    hx::test::TypeInCell(list, row, 1, text);
    QTest::keyClick(list->editor(), Qt::Key_Return);
}

QStringList columnTexts(CListCtrlEx* list, int column) {
    QStringList out;
    for (int r = 0; r < list->rowCount(); ++r) out << list->cellText(r, column);
    return out;
}

void chooseForRow(CListCtrlEx* list, uint16_t address, const QString& item) {
    const QPoint at = hx::test::CellCenter(list, list->rowOfAddress(address), 1);
    QMenu* menu = hx::test::OpenContextMenu(list->viewport(), at);
    EXPECT_TRUE(hx::test::ChooseMenuItem(menu, item)) << item.toStdString();
}

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

TEST(ParameterManage, OpeningReadsAllBlocksEditsAndWriteAllGoToTheDriveAndAFailedReadBlocksWriting) {
    {
        ParameterWindowFixture f(DriveAt(150));
        f.open();
        EXPECT_EQ(readStarts(f.sim()), (std::vector<uint16_t>{0, 50, 100})) << "below 200.0 only the low range";
    }
    ParameterWindowFixture f;  // firmware 200.0
    f.window = std::make_unique<CParameterManage>(hx::test::ProgramDrive(), f.gate);
    // Before any read the table holds nothing worth sending.
    f.window->StartWriteAll();
    EXPECT_EQ(f.messages.lastText(), "参数列表为空，请上传或读入参数后再操作！");
    ASSERT_TRUE(f.waitIdle());
    f.window.reset();
    f.messages.clear();
    f.sim().ClearRequests();

    // Opening reads all blocks of the drive's layout.
    for (auto [a, v] : {std::pair{2, 1233}, {30000, 777}, {31950, 55}}) f.sim().SetRam(a, v);
    CParameterManage* w = f.open();
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();
    const auto starts = readStarts(f.sim());
    ASSERT_EQ(starts.size(), 43u);
    EXPECT_EQ(starts[3], 30000);
    EXPECT_EQ(starts.back(), 31950);
    CListCtrlEx* list = w->parameterList();
    EXPECT_EQ(list->cellText(list->rowOfAddress(2), 2), "1233");
    EXPECT_EQ(list->cellText(list->rowOfAddress(30000), 2), "777");
    EXPECT_EQ(theParameterTable.GetValue(31950), 55);

    // The columns of the listing: address (unseen), name, value, range, default, unit, remark.
    const int pr004 = list->rowOfAddress(7);
    EXPECT_EQ((QStringList{list->cellText(pr004, 1), list->cellText(pr004, 3), list->cellText(pr004, 4),
                           list->cellText(pr004, 5)}),
              (QStringList{"Pr0.04", "0~10", "1", "--"}));
    // The model's table in the database's PageNumber order (the query's own
    // test): the rows without a category ("--", Pr9) before "P0 基本设定".
    EXPECT_EQ(columnTexts(list, 1).mid(0, 2), (QStringList{"Pr9.00", "Pr9.01"}));

    // The progress shows and the buttons wait for the transfer.
    w->StartReadAll();
    EXPECT_FALSE(w->readButton()->isEnabled());
    EXPECT_FALSE(w->writeButton()->isEnabled());
    EXPECT_EQ(w->percentLabel()->text(), "0%");
    w->OnProgress(1, 43);
    EXPECT_EQ(w->percentLabel()->text(), "2%");
    w->OnProgress(43, 43);
    EXPECT_EQ(w->percentLabel()->text(), "100%");
    EXPECT_TRUE(w->writeButton()->isEnabled());
    ASSERT_TRUE(f.waitIdle());

    QSignalSpy written(w, &CParameterManage::writeOneFinished);

    // "1A" is taken as 1, and the list shows what the drive holds (the list
    // refuses values outside the range before the window hears of them); a
    // 32-bit parameter goes as two registers, the high word below.
    const struct {
        uint16_t address;
        const char *typed, *shown;
        std::vector<std::pair<uint16_t, uint16_t>> ram;
    } edits[] = {{2, "1234", "1234", {{2, 1234}}},
                 {7, "1A", "1", {{7, 1}}},
                 {30029, "100000", "100000", {{30028, 1}, {30029, 0x86A0}}}};
    for (const auto& e : edits) {
        const int row = list->rowOfAddress(e.address);
        typeValue(list, row, e.typed);
        ASSERT_TRUE(WaitUntil([&] { return written.count() == 1; }));
        EXPECT_TRUE(written.takeFirst()[0].toBool());
        for (auto [address, value] : e.ram) EXPECT_EQ(f.sim().Ram(address), value) << e.typed;
        EXPECT_EQ(list->cellText(row, 2), e.shown);
        EXPECT_TRUE(list->rowConfirmed(row));
    }

    // Unanswered: said, the old value kept (not -1), the row unconfirmed
    // until the drive answers again.
    const int row = list->rowOfAddress(2);  // Pr0.02, 0~10000
    theComm.SetReceiveTimeOut(50);
    f.drive->Server().LoseReplies(1.0);
    typeValue(list, row, "42");
    ASSERT_TRUE(WaitUntil([&] { return written.count() == 1; }));
    EXPECT_FALSE(written.takeFirst()[0].toBool());
    EXPECT_TRUE(f.messages.lastText().contains("没有应答")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.messages.lastText().contains("Pr0.02"));
    EXPECT_EQ(list->cellText(row, 2), "1234") << "as the drive last answered";
    EXPECT_FALSE(list->rowConfirmed(row));
    hx::test::ClickCell(list, list->rowOfAddress(7), 1);
    EXPECT_EQ(list->rowBackground(row), CListCtrlEx::UnconfirmedColor());
    f.drive->Server().ClearFaults();
    theComm.SetReceiveTimeOut(200);
    typeValue(list, row, "42");
    ASSERT_TRUE(WaitUntil([&] { return written.count() == 1; }));
    EXPECT_TRUE(written[0][0].toBool());
    EXPECT_EQ(f.sim().Ram(2), 42);
    EXPECT_TRUE(list->rowConfirmed(row));

    // The drive stops answering half-way: the read fails and leaves "写参数"
    // disabled until a read completes.
    theComm.SetReceiveTimeOut(20);
    f.drive->Server().LoseReplies(1.0);
    f.messages.clear();
    QTest::mouseClick(w->readButton(), Qt::LeftButton);
    ASSERT_TRUE(f.waitIdle(20000));
    EXPECT_TRUE(f.messages.lastText().contains("no answer")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(w->readButton()->isEnabled()) << "the user can read again";
    EXPECT_FALSE(w->writeButton()->isEnabled()) << "a half-read table never goes over the drive";
    // Even called directly, the write refuses.
    f.drive->Drive().ClearRequests();
    w->StartWriteAll();
    EXPECT_FALSE(w->busy());
    for (const auto& r : f.sim().Requests()) EXPECT_NE(r.function, 16);

    // What goes where and back is the transfer's own test; here the window,
    // read again, sends the table it holds and lists what it reads.
    f.drive->Server().ClearFaults();
    f.messages.clear();
    f.sim().SetRam(30000, 1);
    ASSERT_TRUE(hx::test::ClickAndWait(w->readButton(), w, &CParameterManage::readAllFinished));
    EXPECT_EQ(list->cellText(list->rowOfAddress(30000), 2), "1");
    theParameterTable.SetValue(31999, 1000);
    QSignalSpy wrote(w, &CParameterManage::writeAllFinished);
    QTest::mouseClick(w->writeButton(), Qt::LeftButton);
    EXPECT_TRUE(w->busy());
    EXPECT_FALSE(w->readFileButton()->isEnabled()) << "file loading is held off during a transfer";
    ASSERT_TRUE(WaitUntil([&] { return wrote.count() == 1; }));
    EXPECT_TRUE(wrote[0][0].toBool());
    EXPECT_TRUE(w->readButton()->isEnabled());
    EXPECT_EQ(f.sim().Ram(31999), 1000);
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();
}

// A register that never clears: the window gives up after the full 30 polls,
// 8 s of the drive's clock. The waits step the drive's clock, so their sum is
// the sequence's timing.
TEST(ParameterManage, StorageButtonsAskRunOnAWorkerAndGiveUpAfterEightSeconds) {
    struct Case {
        QPushButton* (CParameterManage::*button)() const;
        hx::StorageCommand command;
        const char *question, *done, *failed;
        // Where the drive then holds what: the store's effect.
        uint16_t (VirtualDrive::*memory)(uint16_t) const;
        uint16_t address, value;
    };
    const Case cases[] = {
        {&CParameterManage::saveButton, hx::kSaveToDrive,
         "Current settings won't be recoverable after parameters saved. Do you want to continue?",
         "保存驱动器当前设置成功!", "保存驱动器当前设置失败!", &VirtualDrive::Nv, 3, 66},
        {&CParameterManage::restoreButton, hx::kRestoreFactory, "恢复出厂参数后，驱动器当前参数将被清除，确定继续吗？",
         "恢复驱动器出厂设置成功!", "恢复驱动器出厂设置失败!", &VirtualDrive::Ram, 2, 500},
        {&CParameterManage::burnButton, hx::kBurnFactory, "烧录最原始的出厂设置，当前所有参数将初彻底初始化!确定继续吗？",
         "烧录出厂参数完毕!", "烧录出厂参数失败!", &VirtualDrive::Factory, 3, 66},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.reg);
        auto clock = std::make_shared<hx::sim::SteppedClock>();
        std::atomic<int> waitedMs{0};
        std::atomic<bool> hold{false};
        ParameterWindowFixture f({.station = 5, .clock = clock});
        g_accessLevel = AccessLevel::Administrator;  // the burn button shows
        f.sim().SetRam(2, 9999);
        CParameterManage* w = f.open();
        // While held, the first wait holds on (5 s at most): the window is seen busy.
        w->SetStorageWait([&](std::stop_token stop, std::chrono::milliseconds d) {
            for (int i = 0; hold && i < 5000 && !stop.stop_requested(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            waitedMs += static_cast<int>(d.count());
            clock->Step(d);
            return !stop.stop_requested();
        });
        QPushButton* button = (w->*c.button)();
        QSignalSpy stored(w, &CParameterManage::storageFinished);

        f.messages.clear();
        f.messages.answers = {false};
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(f.messages.records.size(), 1u);
        EXPECT_EQ(f.messages.records[0].text, c.question);
        EXPECT_FALSE(w->busy()) << "No stops";
        EXPECT_EQ(f.sim().CommandsCompleted(c.command.reg), 0);

        f.sim().SetRam(3, 66);
        f.messages.clear();
        hold = true;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(w->busy());
        EXPECT_FALSE(w->readButton()->isEnabled());
        EXPECT_EQ(w->cursor().shape(), Qt::BusyCursor);
        // Single edits wait too, with the busy message.
        CListCtrlEx* list = w->parameterList();
        hx::test::ClickCell(list, list->rowOfAddress(2), 1);
        hx::test::ClickCell(list, list->rowOfAddress(2), 1);
        EXPECT_FALSE(list->editing());
        EXPECT_EQ(f.messages.lastText(), "通信模块正在数据交互......请等待完成任务再操作!");
        hold = false;
        ASSERT_TRUE(WaitUntil([&] { return stored.count() == 1; }, 5000));
        EXPECT_TRUE(stored[0][0].toBool());
        EXPECT_TRUE(f.messages.saw(c.done)) << f.messages.lastText().toStdString();
        EXPECT_EQ(f.sim().CommandsCompleted(c.command.reg), 1);
        ASSERT_TRUE(f.waitIdle());
        EXPECT_NE(w->cursor().shape(), Qt::BusyCursor);
        EXPECT_EQ((f.sim().*c.memory)(c.address), c.value);
        EXPECT_EQ(list->cellText(list->rowOfAddress(2), 2), QString::number(f.sim().Ram(2))) << "refilled after a restore";

        f.sim().SetStuck(c.command.reg, true);
        stored.clear();
        waitedMs = 0;
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return stored.count() == 1; }, 5000));
        EXPECT_FALSE(stored[0][0].toBool());
        EXPECT_EQ(f.messages.lastText(), c.failed);
        EXPECT_EQ(waitedMs, 8000) << "2 s, then 30 polls 200 ms apart";
    }
}

TEST(ParameterManage, ClosingDuringATransferStopsItSafely) {
    ParameterWindowFixture f({.station = 5, .baud = 38400});  // paced: a whole read takes over a second
    auto frame = std::make_unique<CMainFrame>(theComm);
    auto* w = static_cast<CParameterManage*>(frame->view()->openParameterManager());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(frame->view()->openParameterManager(), w) << "at most one manager";
    QPointer<CParameterManage> alive(w);
    ASSERT_TRUE(WaitUntil([&] { return w->percentLabel()->text() != "0%"; }, 3000));
    ASSERT_TRUE(w->busy());

    // No: the window stays and the read goes on.
    f.messages.answers = {false};
    frame->view()->frameOf(w)->close();
    ASSERT_FALSE(f.messages.records.empty());
    EXPECT_TRUE(f.messages.records.back().question);
    EXPECT_TRUE(alive);
    EXPECT_TRUE(w->busy());

    // Yes: the read stops at its next block and the window goes.
    frame->view()->frameOf(w)->close();
    EXPECT_EQ(g_paramManagerWnd, nullptr);
    EXPECT_FALSE(w->busy());
    const uint64_t requests = f.sim().RequestCount();
    ASSERT_TRUE(WaitUntil([&] { return alive.isNull(); }, 2000)) << "the view destroys it";
    QTest::qWait(100);
    EXPECT_EQ(f.sim().RequestCount(), requests) << "nothing more goes to the drive";

    // A storage command under way is left at its wait, not waited out.
    w = static_cast<CParameterManage*>(frame->view()->openParameterManager());
    ASSERT_TRUE(WaitUntil([&] { return !w->busy(); }, 5000));
    alive = w;
    QTest::mouseClick(w->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(w->busy());
    QElapsedTimer clock;
    clock.start();
    frame->view()->frameOf(w)->close();
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(WaitUntil([&] { return alive.isNull(); }, 2000));
}

TEST(ParameterManage, CategoriesHelpTypesHiddenParametersFilesAndTheMemo) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    CListCtrlEx* list = w->parameterList();
    CListBoxEx* categories = w->categoryList();
    EXPECT_EQ(categories->currentRow(), 0);
    const int all = list->rowCount();

    // A category shows its own parameters only.
    const int p0 = categories->row(categories->findItems("P0 基本设定", Qt::MatchExactly).value(0));
    ASSERT_GT(p0, 0);
    categories->setCurrentRow(p0);
    EXPECT_GE(list->rowOfAddress(7), 0);
    EXPECT_EQ(list->rowOfAddress(31), -1);
    categories->setCurrentRow(0);
    EXPECT_EQ(list->rowCount(), all);

    // The name field slides open and shut.
    QTest::mouseClick(w->addCategoryButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->nameEdit()->isVisible(); }, 3000));
    EXPECT_FALSE(categories->isVisible());
    for (auto [name, says] : {std::pair{"ab", "自定义设定名称长度不符合,请输入一个长度为3 ~ 20 的字符串!"},
                              {"p0 基本设定", "已存在同名的设定项,请新输入!"},
                              {"我的'组", "您现在可以从参数列表中选择自已的分类参数!"}}) {
        w->nameEdit()->setText(name);
        QTest::mouseClick(w->addGroupButton(), Qt::LeftButton);
        EXPECT_EQ(f.messages.lastText(), says);
    }
    EXPECT_EQ(w->groupNames(), QStringList{"我的'组"});
    ASSERT_TRUE(WaitUntil([&] { return categories->isVisible(); }, 3000)) << "the name field closes";

    // The list's menu puts parameters in the group; choosing it shows them.
    for (uint16_t address : {7, 31}) chooseForRow(list, address, "添加到我的'组");
    const int group = categories->count() - 1;
    categories->setCurrentRow(group);
    EXPECT_EQ(columnTexts(list, 0), (QStringList{"7", "31"}));
    chooseForRow(list, 7, "移出我的'组");
    EXPECT_EQ(columnTexts(list, 0), QStringList{"31"});

    // Built-in entries cannot be deleted; a group can, members and all.
    f.messages.clear();
    categories->setCurrentRow(0);
    EXPECT_TRUE(hx::test::ChooseMenuItem(hx::test::OpenContextMenu(categories->viewport(), {10, 10}), "删除选中设定"));
    EXPECT_EQ(f.messages.lastText(), "只能删除用户自定义的设定选项,固有的选项不能删除!");
    categories->setCurrentRow(group);
    EXPECT_TRUE(hx::test::ChooseMenuItem(hx::test::OpenContextMenu(categories->viewport(), {10, 10}), "删除选中设定"));
    EXPECT_TRUE(w->groupNames().isEmpty());
    EXPECT_EQ(categories->currentRow(), 0);
    EXPECT_EQ(list->rowCount(), all);

    // "Pr0.01", whatever row is chosen (a row's own page is the list's "查看参数").
    hx::test::ClickCell(list, list->rowOfAddress(7), 1);
    QTest::mouseClick(w->helpButton(), Qt::LeftButton);
    EXPECT_TRUE(HelpWindow::instance()->isVisible());
    EXPECT_TRUE(HelpWindow::instance()->source().path().endsWith("/Pr0.01.html"))
        << HelpWindow::instance()->source().toString().toStdString();
    HelpWindow::instance()->close();
    w->ShowParameterHelp("NoSuchTopic");
    EXPECT_TRUE(f.messages.lastText().contains("NoSuchTopic"));
    const auto u = Ranged(w, "USHORT");
    ASSERT_TRUE(u.has_value());
    // A category that does not hold the unsigned parameter.
    int other = 1;
    while (other < categories->count() && categories->item(other)->text().toStdString() == u->pageNumber) ++other;
    ASSERT_LT(other, categories->count());
    categories->setCurrentRow(other);
    EXPECT_LT(list->rowOfAddress(u->address), 0);
    EXPECT_TRUE(theParameterTable.IsUShort(u->address));
    theParameterTable.SetValue(u->address, 65000);
    EXPECT_EQ(theParameterTable.GetValue(u->address), 65000);
    categories->setCurrentRow(0);

    ASSERT_EQ(theParameterTable.TestAttribute(39), 0);
    EXPECT_EQ(list->rowOfAddress(39), -1) << "Pr6.01 is hidden from an ordinary user";

    QTest::mouseClick(w->descriptionLabel(), Qt::LeftButton);
    EXPECT_EQ(g_accessLevel, AccessLevel::Administrator);
    EXPECT_EQ(list->rowOfAddress(39), -1) << "the click refreshes nothing";
    ASSERT_TRUE(hx::test::ClickAndWait(w->readButton(), w, &CParameterManage::readAllFinished));
    EXPECT_GE(list->rowOfAddress(39), 0);
    EXPECT_TRUE(w->burnButton()->isHidden()) << "shown at the next opening";
    f.window.reset();
    EXPECT_FALSE(f.open()->burnButton()->isHidden());

    // Files, read by the same drive as an ordinary user.
    g_accessLevel = AccessLevel::Ordinary;
    f.sim().SetRam(2, 321);
    w = f.open();
    list = w->parameterList();
    const QString path = QString::fromStdString(f.folder.File("set one.qxr"));
    QString answer = path;
    hx::gui::FileDialogRequest asked;
    int dialogs = 0;
    SetFileDialogHook([&](const hx::gui::FileDialogRequest& r) {
        asked = r;
        ++dialogs;
        return answer;
    });

    AnswerMemo("调试用参数");
    QTest::mouseClick(w->saveAsButton(), Qt::LeftButton);
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.defaultSuffix, "qxr");
    EXPECT_EQ(w->description(), "调试用参数");
    const std::string bytes = hx::test::ReadFileBytes(path.toStdString());
    std::string memo;
    ASSERT_TRUE(hx::Utf8ToCp936("Description=调试用参数\r\n", &memo));
    EXPECT_NE(bytes.find(memo), std::string::npos);
    EXPECT_NE(bytes.find("\r\n2=321\r\n"), std::string::npos);

    // Loading puts the file's values in the table and the list.
    theParameterTable.SetValue(2, 5);
    w->FillParameterList(0, 31999);
    f.messages.clear();
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    EXPECT_FALSE(asked.save);
    EXPECT_EQ(theParameterTable.GetValue(2), 321);
    EXPECT_EQ(list->cellText(list->rowOfAddress(2), 2), "321");
    EXPECT_TRUE(f.messages.lastText().contains("描述信息:调试用参数")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(w->readButton()->isEnabled());

    // A file that is not there is named in the message and changes nothing.
    answer = QString::fromStdString(f.folder.File("missing.qxr"));
    theParameterTable.SetValue(2, 8);
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.lastText().contains("missing.qxr")) << f.messages.lastText().toStdString();
    EXPECT_EQ(theParameterTable.GetValue(2), 8);

    // A cancelled dialog does nothing; a cancelled memo keeps the description.
    answer.clear();
    f.messages.clear();
    AnswerMemo("不要", false);
    QTest::mouseClick(w->saveAsButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.records.empty());
    EXPECT_EQ(w->description(), "调试用参数");

    // A file with a value above its range and junk lines, from another
    // model: the value is marked and the write asks about both.
    const auto d = Ranged(w, "SHORT");
    ASSERT_TRUE(d.has_value());
    const auto range = *hx::ParseScope(d->scope);
    answer = QString::fromStdString(f.folder.File("odd.qxr"));
    std::string text = "DriveType=HX-OTHER-9\r\nDriveVerssion=1.0\r\nDescription=\r\n";
    text += std::to_string(d->address) + "=" + std::to_string(range.max + 1) + "\r\n";
    text += "65536=1\r\nabc=2\r\n";
    hx::test::WriteFileBytes(answer.toStdString(), text);
    f.messages.clear();
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 2u);
    EXPECT_TRUE(f.messages.lastText().contains("跳过 2")) << f.messages.lastText().toStdString();

    const int row = list->rowOfAddress(d->address);
    ASSERT_GE(row, 0);
    EXPECT_EQ(list->rowBackground(row), CListCtrlEx::OutOfRangeColor());
    EXPECT_TRUE(list->item(row, CListCtrlEx::ValueColumn)->toolTip().contains(QString::fromStdString(d->scope)));

    // "写参数" asks; No sends nothing.
    f.messages.clear();
    f.messages.answers = {false};
    f.sim().ClearRequests();
    QTest::mouseClick(w->writeButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 1u);
    EXPECT_TRUE(f.messages.lastText().contains("超出取值范围")) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.messages.lastText().contains("HX-OTHER-9")) << f.messages.lastText().toStdString();
    for (const auto& r : f.sim().Requests()) EXPECT_NE(r.function, 16);
    // Yes sends it; the drive itself refuses the value outside the range.
    f.messages.answers = {true};
    QTest::mouseClick(w->writeButton(), Qt::LeftButton);
    ASSERT_TRUE(f.waitIdle(20000));
    EXPECT_NE(f.sim().Ram(d->address), static_cast<uint16_t>(range.max + 1));

    // Without the model's definitions a file is neither read nor written.
    g_driveModel = "NO_SUCH_MODEL";
    f.window.reset();
    w = f.open();
    EXPECT_TRUE(w->definitions().empty());
    answer = QString::fromStdString(f.folder.File("x.qxr"));
    dialogs = 0;
    for (QPushButton* button : {w->readFileButton(), w->saveAsButton()}) {
        f.messages.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(f.messages.lastText().contains("参数定义")) << f.messages.lastText().toStdString();
    }
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(std::filesystem::exists(f.folder.File("x.qxr")));

    // The memo keeps to two hundred bytes.
    CParameterRemark remark;
    remark.editor()->setPlainText(QString(250, QLatin1Char('a')));
    EXPECT_EQ(remark.text().size(), 200);
    remark.editor()->clear();
    remark.editor()->insertPlainText(QString(99, QChar(0x4E2D)));  // 198 bytes
    remark.editor()->insertPlainText(QStringLiteral("中a文"));
    EXPECT_EQ(remark.text(), QString(100, QChar(0x4E2D))) << "only what fits of the new text is kept";
}

// A list belongs to the drive it was read from. What an undo in the change
// history writes shows in the list; a new connection (here to the same
// simulated drive, which the window cannot tell from another) clears the
// list and says why; a list the window was not told about is never written.
TEST(ParameterManageHonest, AListBelongsToTheDriveItWasReadFrom) {
    ParameterWindowFixture f;
    auto frame = std::make_unique<CMainFrame>(theComm);
    ASSERT_TRUE(hx::test::CloseTheOpeningConnectionWindow(frame->view()->area()));
    auto* w = static_cast<CParameterManage*>(frame->view()->openParameterManager());
    ASSERT_TRUE(WaitUntil([&] { return !w->busy(); }, 8000));
    CListCtrlEx* list = w->parameterList();
    const auto valueOf = [&](uint16_t address) { return list->cellText(list->rowOfAddress(address), 2); };
    const QString before = valueOf(2);  // Pr0.02, 0~10000
    QSignalSpy written(w, &CParameterManage::writeOneFinished);
    typeValue(list, list->rowOfAddress(2), before == "1234" ? "1235" : "1234");
    ASSERT_TRUE(WaitUntil([&] { return written.count() == 1; }));

    auto* history = static_cast<CChangeHistory*>(frame->view()->openChangeHistory());
    ASSERT_NE(history, nullptr);
    ASSERT_FALSE(history->rows().empty());
    ASSERT_EQ(history->rows()[0].reg, 2);
    history->table()->selectRow(0);
    QSignalSpy reread(w, &CParameterManage::readAllFinished);
    history->undoButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return reread.count() == 1; }, 10000)) << "the list reads the drive again";
    EXPECT_EQ(f.sim().Ram(2), before.toInt());
    EXPECT_EQ(valueOf(2), before);
    frame->view()->frameOf(history)->close();

    // Connected again: the list of the drive before is gone, and said so.
    hx::test::OpenProgramLink(f.drive->DevicePath(), 250, 150);
    f.messages.clear();
    frame->SetConnected(true);
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_TRUE(f.messages.lastText().startsWith("已连接到")) << f.messages.lastText().toStdString();
    EXPECT_FALSE(w->writeButton()->isEnabled());

    // Read from this connection, then one the window was not told of: "写参数"
    // refuses, clears the list and sends nothing.
    ASSERT_TRUE(hx::test::ClickAndWait(w->readButton(), w, &CParameterManage::readAllFinished));
    ASSERT_GT(list->rowCount(), 0);
    hx::test::OpenProgramLink(f.drive->DevicePath(), 250, 150);
    f.sim().ClearRequests();
    w->StartWriteAll();
    EXPECT_TRUE(f.messages.lastText().contains("另一台驱动器")) << f.messages.lastText().toStdString();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_FALSE(w->busy());
    EXPECT_EQ(f.sim().RequestCount(), 0u);

    // A file of a few parameters leaves the rest of the table as it stands:
    // no drive's values now, so nothing may be written until a whole read;
    // after one, the file's values go with the drive's own.
    const std::string part = f.folder.File("part.qxr");
    hx::test::WriteFileBytes(part, "DriveType=\r\nDriveVerssion=\r\nDescription=\r\n2=1234\r\n");
    SetFileDialogHook([&](const hx::gui::FileDialogRequest&) { return QString::fromStdString(part); });
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    EXPECT_TRUE(f.messages.lastText().contains("没有包含全部参数")) << f.messages.lastText().toStdString();
    EXPECT_FALSE(w->writeButton()->isEnabled());
    w->StartWriteAll();
    EXPECT_FALSE(w->busy());
    EXPECT_EQ(f.sim().RequestCount(), 0u);
    ASSERT_TRUE(hx::test::ClickAndWait(w->readButton(), w, &CParameterManage::readAllFinished));
    QTest::mouseClick(w->readFileButton(), Qt::LeftButton);
    EXPECT_TRUE(w->writeButton()->isEnabled());
    SetFileDialogHook({});
}
