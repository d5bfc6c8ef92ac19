// The setup wizard against the simulated drive over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "gui/GuiTestUtil.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/wizard/GuidePages.h"
#include "gui/wizard/GuideSettings.h"
#include "sim/DriveServer.h"

using namespace hx::gui;
using hx::test::MessageRecorder;
using hx::test::WaitUntil;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint8_t kRead = 3, kWriteSingle = 6;

struct WizardBench : hx::test::DriveOnLink {
    explicit WizardBench(uint16_t variant = 1001)
        : DriveOnLink({.station = kStation, .variantCode = variant, .commandDelayMs = 50}) {
        g_driveModel = "KRV4";
        g_driveVariantCode = variant;
        sim().ClearRequests();
    }
    ~WizardBench() { wizard.reset(); }
    std::vector<uint16_t> Addresses(uint8_t function) { return hx::test::RequestAddresses(sim(), function); }
    CGuideSettings* open() {
        wizard = std::make_unique<CGuideSettings>(hx::test::ProgramDrive(), gate);
        wizard->show();
        EXPECT_TRUE(WaitUntil([&] { return !wizard->busy(); }));
        return wizard.get();
    }
    bool click(QPushButton* button) {
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
        button->click();
        return WaitUntil([&] { return !wizard->busy(); }, 10000);
    }

    hx::ChangeGate gate;
    std::unique_ptr<CGuideSettings> wizard;
};

}  // namespace

TEST(GuideSettings, OnlyTheWizardsModelOpensIt) {
    WizardBench b;
    CMainFrame frame(theComm);
    auto findWizard = [&] { return hx::test::FindSubWindow<CGuideSettings>(frame.view()->area()); };
    g_driveModel = "KRV7";
    frame.runCommand(cmd::Wizard);
    EXPECT_EQ(b.messages.lastText(), "该驱动器不支持向导功能.");
    EXPECT_EQ(findWizard(), nullptr);

    g_driveModel = "KRV4";
    frame.runCommand(cmd::Wizard);
    CGuideSettings* wizard = findWizard();
    ASSERT_NE(wizard, nullptr);
    // Asked again, the open wizard comes back: one at a time.
    frame.runCommand(cmd::Wizard);
    EXPECT_EQ(std::ranges::count_if(frame.view()->area()->subWindowList(),
                                    [](QMdiSubWindow* sub) { return qobject_cast<CGuideSettings*>(sub->widget()); }),
              1);
    EXPECT_EQ(findWizard(), wizard);
    EXPECT_TRUE(g_activeModule.empty()) << "the wizard keeps out of the one-window rule";
    ASSERT_TRUE(WaitUntil([&] { return !wizard->busy(); }));
    // "取消" closes it, and the view destroys it.
    QPointer<CGuideSettings> alive(wizard);
    wizard->cancelButton()->click();
    EXPECT_TRUE(WaitUntil([&] { return alive.isNull(); }, 2000));
}

TEST(GuideSettings, EachStepReadsItsPageEveryTimeItIsShownAndNoAtTheEndWritesNothing) {
    WizardBench b(1001);
    for (auto [a, v] : {std::pair{50, 0}, {49, 21}}) b.sim().SetRam(a, v);
    CGuideSettings* w = b.open();
    CGuideComParameter* alias = w->aliasPage();
    EXPECT_TRUE(alias->isVisible());
    EXPECT_FALSE(w->previousButton()->isEnabled());
    EXPECT_TRUE(alias->switchButton()->isChecked());
    EXPECT_EQ(alias->aliasEdit()->text(), "4");
    EXPECT_FALSE(alias->aliasEdit()->isEnabled());

    // The object dictionary: its alias, editable.
    alias->dictionaryButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !w->busy(); }));
    EXPECT_EQ(alias->aliasEdit()->text(), "21");
    EXPECT_TRUE(alias->aliasEdit()->isEnabled());

    // Current page: shown again, it shows the drive's values again, and what
    // was typed there is gone.
    ASSERT_TRUE(b.click(w->nextButton()));
    EXPECT_EQ(w->currentPage()->peakEdit()->text(), "4200");
    EXPECT_EQ(w->currentPage()->standbyTimeEdit()->text(), "500");
    EXPECT_EQ(w->currentPage()->standbyPercentEdit()->text(), "50");
    w->currentPage()->peakEdit()->setText("1234");
    b.sim().SetRam(0, 3100);
    b.sim().ClearRequests();
    ASSERT_TRUE(b.click(w->previousButton()));
    EXPECT_EQ(w->step(), 0);
    EXPECT_EQ(b.Addresses(kRead), (std::vector<uint16_t>{50, 4}));
    EXPECT_TRUE(alias->switchButton()->isChecked()) << "the source the drive holds";
    b.sim().ClearRequests();
    ASSERT_TRUE(b.click(w->nextButton()));
    EXPECT_EQ(b.Addresses(kRead), (std::vector<uint16_t>{0, 2, 3}));
    EXPECT_EQ(w->currentPage()->peakEdit()->text(), "3100");

    for (auto [a, v] : {std::pair{1, 51200}, {51, 1}}) b.sim().SetRam(a, v);
    ASSERT_TRUE(b.click(w->nextButton()));
    EXPECT_EQ(w->pulsesPage()->pulsesEdit()->text(), "51200");
    EXPECT_TRUE(w->pulsesPage()->invertBox()->isChecked());

    // Inputs and outputs: five and two rows on this variant; polarity 0x0005
    // ticks SI1 and SI3; output code 8 is the brake; input code 0 and code 3
    // match no entry and say so.
    for (auto [a, v] : {std::pair{134, 0x0005}, {6, 8}, {124, 0}, {128, 3}}) b.sim().SetRam(a, v);
    b.sim().ClearRequests();
    ASSERT_TRUE(b.click(w->nextButton()));
    EXPECT_EQ(w->step(), 3);
    CGuideInput* in = w->ioPage()->inputPage();
    CGuideOutput* out = w->ioPage()->outputPage();
    EXPECT_TRUE(in->isVisible());
    EXPECT_TRUE(in->row(4).function->isVisible());
    EXPECT_FALSE(in->row(5).function->isVisible());
    EXPECT_FALSE(in->row(6).invert->isVisible());
    EXPECT_EQ((std::vector<bool>{in->row(0).invert->isChecked(), in->row(1).invert->isChecked(), in->row(2).invert->isChecked()}),
              (std::vector<bool>{true, false, true}));
    EXPECT_EQ((QStringList{in->row(0).function->currentText(), in->row(4).function->currentText(),
                           in->row(1).function->currentText(), out->row(1).function->currentText(), out->row(0).function->currentText()}),
              (QStringList{"0: 未定义", "3: 未定义", "2:正限位", "8:抱闸输出", "1:报警输出"}));
    EXPECT_EQ(in->row(0).filter->text(), "100");
    EXPECT_FALSE(out->row(2).pin->isVisibleTo(out));
    const std::vector<uint16_t> reads = b.Addresses(kRead);
    for (uint16_t a : {27, 28, 29, 30, 31, 44, 45, 46, 47})
        EXPECT_EQ(std::count(reads.begin(), reads.end(), a), 0) << a;
    // The output half shows on its button, as it was read with the page.
    b.sim().ClearRequests();
    w->ioPage()->outputButton()->click();
    EXPECT_TRUE(out->isVisible());
    EXPECT_FALSE(in->isVisible());
    EXPECT_TRUE(b.Addresses(kRead).empty());
    // An undefined code is written back as it was read, not as another function.
    hx::wizard::WizardForm form;
    w->ioPage()->collect(form);
    EXPECT_EQ(form.inputFunction[0], 0);
    EXPECT_EQ(form.inputFunction[4], 3);

    // Opened again: No at the end writes nothing; refused text and an
    // unanswered write are said.
    w = b.open();
    b.messages.clear();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(b.click(w->nextButton()));
    w->ioPage()->inputPage()->row(4).filter->setText("200");
    b.sim().ClearRequests();
    b.messages.answers = {false};
    ASSERT_TRUE(b.click(w->nextButton()));
    ASSERT_EQ(b.messages.records.size(), 1u);
    EXPECT_TRUE(b.messages.records[0].question);
    EXPECT_TRUE(b.messages.records[0].changed.contains("SI5 滤波时间(us) (地址 133): 100 → 200"))
        << b.messages.records[0].changed.join('\n').toStdString();
    EXPECT_TRUE(b.Addresses(kWriteSingle).empty());
    // At the last step "下一步" is disabled.
    EXPECT_EQ(w->step(), 4);
    EXPECT_FALSE(w->nextButton()->isEnabled());
    // "上一步" returns to the input/output page, which reads the drive again.
    b.sim().SetRam(133, 300);
    ASSERT_TRUE(b.click(w->previousButton()));
    EXPECT_EQ(w->step(), 3);
    EXPECT_EQ(w->ioPage()->inputPage()->row(4).filter->text(), "300");
    const std::vector<uint16_t> readAgain = b.Addresses(kRead);
    EXPECT_EQ(std::count(readAgain.begin(), readAgain.end(), 133), 1);
    EXPECT_TRUE(b.Addresses(kWriteSingle).empty());

    // Refused text is said and nothing is written.
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(b.click(w->previousButton()));
    w->currentPage()->peakEdit()->setText("");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(b.click(w->nextButton()));
    EXPECT_EQ(b.messages.lastText(), "“峰值电流(mA)”不是数字，没有写入任何参数。请回到该页面重新输入。");
    EXPECT_TRUE(b.Addresses(kWriteSingle).empty());
    EXPECT_EQ(w->step(), 3);

    // Back on the current page to mend it (shown again, it shows the
    // drive's value); at the end the drive falls silent the moment the user
    // says Yes.
    ASSERT_TRUE(b.click(w->previousButton()));
    ASSERT_TRUE(b.click(w->previousButton()));
    EXPECT_EQ(w->currentPage()->peakEdit()->text(), "3100");
    w->currentPage()->peakEdit()->setText("4000");
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(b.click(w->nextButton()));
    b.messages.clear();
    hx::gui::SetMessageHandler([&](const MessageRecord& r) {
        b.messages.records.push_back(r);
        if (r.question) b.drive->Server().SetStation(kStation + 1);
        return true;
    });
    w->nextButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !w->busy(); }, 10000));
    // The backup before the first write finds the drive silent: nothing goes out.
    EXPECT_TRUE(b.messages.lastText().startsWith("读取驱动器型号以备份时驱动器没有应答")) << b.messages.lastText().toStdString();
    EXPECT_TRUE(b.Addresses(kWriteSingle).empty());
    EXPECT_EQ(b.sim().CommandsCompleted(90), 0);
    EXPECT_FALSE(b.messages.saw("向导参数已设置完成!"));
    EXPECT_FALSE(w->isHidden());
    EXPECT_TRUE(w->nextButton()->isEnabled()) << "the user may try again";
}

TEST(GuideSettings, YesWritesEveryPageInOrderAndStores) {
    WizardBench b(1000);
    // Currents and pulses above 32767: the summary shows them as the pages do.
    for (auto [a, v] : {std::pair{50, 1}, {49, 3}, {0, 40000}, {1, 40000}}) b.sim().SetRam(a, v);
    CGuideSettings* w = b.open();
    w->aliasPage()->aliasEdit()->setText("12");
    ASSERT_TRUE(b.click(w->nextButton()));
    w->currentPage()->peakEdit()->setText("3000");
    ASSERT_TRUE(b.click(w->nextButton()));
    ASSERT_TRUE(b.click(w->nextButton()));
    CGuideInput* in = w->ioPage()->inputPage();
    EXPECT_TRUE(in->row(6).function->isVisible()) << "variant 1000 has seven inputs";
    in->row(6).function->setCurrentIndex(6);  // 64:Probe2功能
    in->row(6).invert->setChecked(true);
    w->ioPage()->outputPage()->row(6).function->setCurrentIndex(4);  // 8:抱闸输出
    b.sim().ClearRequests();
    b.messages.clear();
    b.messages.answers = {true};
    w->nextButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !w->busy(); }, 15000));

    // The question came with the registers it would change, in write order,
    // and apart from them the ones that keep their values.
    ASSERT_EQ(b.messages.records.size(), 2u);
    const QStringList changed = b.messages.records[0].changed;
    EXPECT_EQ(changed, (QStringList{"站点别名数据 (地址 49): 3 → 12", "峰值电流(mA) (地址 0): 40000 → 3000",
                                    "SI7 功能 (地址 45): 0 → 64", "输入极性 (地址 134): 0x0000 → 0x0040",
                                    "SO7 功能 (地址 31): 0 → 8"}));
    const QStringList unchanged = b.messages.records[0].unchanged;
    EXPECT_EQ(unchanged.size(), 25);
    EXPECT_EQ(unchanged.front(), "别名来源 (地址 50): 1 → 1");
    EXPECT_TRUE(unchanged.contains("每转脉冲数(Pluse) (地址 1): 40000 → 40000")) << unchanged.join('\n').toStdString();
    EXPECT_TRUE(b.messages.records[0].details.endsWith("然后存储参数 (地址 90 ← 1)"));

    EXPECT_EQ(b.messages.lastText(), "向导参数已设置完成!");
    EXPECT_EQ(b.Addresses(kWriteSingle),
              (std::vector<uint16_t>{49, 50, 0, 2, 3, 1, 51, 124, 125, 126, 127, 128, 44, 45, 129, 130, 131, 132,
                                     133, 46, 47, 134, 5, 6, 27, 28, 29, 30, 31, 8, 90}));
    EXPECT_EQ(b.sim().CommandsCompleted(90), 1);
    EXPECT_EQ((std::vector<uint16_t>{b.sim().Nv(49), b.sim().Nv(0), b.sim().Nv(45), b.sim().Nv(134), b.sim().Nv(31)}),
              (std::vector<uint16_t>{12, 3000, 64, 0x40, 8}));
    // The wizard stays open at its last step, "下一步" disabled.
    EXPECT_FALSE(w->isHidden());
    EXPECT_EQ(w->step(), 4);
    EXPECT_FALSE(w->nextButton()->isEnabled());
}

TEST(GuideSettings, TheSummaryBoxHighlightsTheChangesAndFoldsTheRest) {
    ChangesQuestion box(nullptr, "已完成向导参数设定，是否下发并保存刚才设定的参数？", "完成向导", {"a 1 → 2", "b 3 → 4"},
                        {"c 5 → 5", "d 6 → 6", "e 7 → 7"}, "然后存储参数 (地址 90 ← 1)");
    box.show();
    ASSERT_EQ(box.changedList()->count(), 2);
    EXPECT_EQ(box.changedList()->item(0)->text(), "a 1 → 2");
    EXPECT_TRUE(box.changedList()->item(0)->font().bold());
    EXPECT_NE(box.changedList()->item(0)->background().color(), box.unchangedList()->palette().color(QPalette::Base));
    EXPECT_FALSE(box.unchangedList()->isVisible()) << "the unchanged settings are folded away";
    EXPECT_EQ(box.unchangedToggle()->text(), "不变的设置 (3)");
    box.unchangedToggle()->click();
    EXPECT_TRUE(box.unchangedList()->isVisible());
    EXPECT_EQ(box.unchangedList()->count(), 3);
}
