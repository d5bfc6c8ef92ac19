// Function windows open in their own shape whatever the others do, the
// parameter list shows every value whole, and the manager stays usable on a
// 1024-pixel-wide screen, in Chinese and in English.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <optional>
#include <QTranslator>
#include <cstdlib>

#include "ParameterWindowFixture.h"
#include "gui/alarms/Alarm.h"
#include "gui/alarms/AlarmPages.h"
#include "gui/app/CommandIds.h"
#include "gui/app/HelpWindow.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/comm/ConnectCom.h"
#include "gui/runtest/ResonateAdjust.h"
#include "gui/runtest/RunTestWindow.h"
#include "gui/widgets/Messages.h"
#include "gui/wizard/GuidePages.h"
#include "gui/wizard/GuideSettings.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

namespace {

QMdiSubWindow* frameOf(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }

bool hasChinese(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))); }

// The English catalogue of the build, installed for one test.
struct EnglishInterface {
    EnglishInterface() {
        g_language = 9;
        loaded = translator.load(QString::fromStdString(hx::test::BuildBinFolder() + "/i18n/halvex_en.qm"));
        if (loaded) QCoreApplication::installTranslator(&translator);
    }
    ~EnglishInterface() {
        QCoreApplication::removeTranslator(&translator);
        g_language = 4;
    }
    QTranslator translator;
    bool loaded = false;
};

// Screenshots for the documentation when HALVEX_SCREENSHOT_DIR is set.
void keepScreenshot(QWidget* w, const char* name) {
    if (const char* dir = std::getenv("HALVEX_SCREENSHOT_DIR")) w->grab().save(QString(dir) + "/" + name);
}

void expectUsableManager(CParameterManage* w) {
    // Every value, range, default and unit shows whole.
    CListCtrlEx* list = w->parameterList();
    ASSERT_GT(list->rowCount(), 0);
    const QFontMetrics metrics(list->font());
    for (int c = CListCtrlEx::NameColumn; c < CListCtrlEx::RemarkColumn; ++c)
        for (int row = 0; row < list->rowCount(); ++row)
            EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(list->cellText(row, c)))
                << "column " << c << " cuts " << list->cellText(row, c).toStdString();
    // The remark takes what is left, to the list's right edge.
    const int remarkRight = list->columnViewportPosition(CListCtrlEx::RemarkColumn) +
                            list->columnWidth(CListCtrlEx::RemarkColumn);
    EXPECT_GE(remarkRight, list->viewport()->width() - 1);

    // The button row fits the window, no button on another, each wide
    // enough to be read and hit.
    QList<QPushButton*> row = {w->readFileButton(), w->saveAsButton(), w->memoButton(),   w->readButton(),
                               w->writeButton(),    w->saveButton(),   w->restoreButton(), w->helpButton(),
                               w->compareButton()};
    int right = 0;
    for (QPushButton* b : row) {
        EXPECT_GE(b->x(), right) << b->text().toStdString() << " overlaps the one before it";
        EXPECT_GE(b->width(), 40) << b->text().toStdString();
        right = b->geometry().right() + 1;
    }
    EXPECT_LE(right, w->width()) << "the last button is off the window";
}

}  // namespace

TEST(WindowGeometry, WindowsKeepTheirOwnShapeBesideAMaximisedManager) {
    ParameterWindowFixture f;
    CMainFrame frame;
    frame.resize(1024, 740);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CVelmoraView* view = frame.view();

    // The manager opens maximised, before the connection window's timer.
    QWidget* manager = view->openParameterManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(frameOf(manager)->isMaximized());
    ASSERT_TRUE(WaitUntil([&] { return !static_cast<CParameterManage*>(manager)->busy(); }, 8000));

    // The connection window then opens by itself: its own size, at (300, 50).
    ASSERT_TRUE(WaitUntil([&] { return view->area()->subWindowList().size() == 2; }, 3000));
    QMdiSubWindow* connection = view->area()->subWindowList().back();
    ASSERT_NE(qobject_cast<CConnectCom*>(connection->widget()), nullptr);
    EXPECT_FALSE(connection->isMaximized());
    EXPECT_EQ(connection->pos(), QPoint(300, 50));
    EXPECT_LE(connection->width(), connection->sizeHint().width() + 1);
    EXPECT_LT(connection->width(), view->area()->viewport()->width() / 2);
    EXPECT_TRUE(frameOf(manager)->isMaximized()) << "the manager stays as it was";
    connection->close();
    ASSERT_TRUE(WaitUntil([&] { return view->area()->subWindowList().size() == 1; }, 2000));

    // Settings and about open at their own size too.
    for (QWidget* w : {static_cast<QWidget*>(view->openEnvironment()), static_cast<QWidget*>(view->openAbout())}) {
        ASSERT_NE(w, nullptr);
        QApplication::processEvents();
        EXPECT_FALSE(frameOf(w)->isMaximized()) << w->windowTitle().toStdString();
        EXPECT_LT(frameOf(w)->width(), view->area()->viewport()->width() / 2) << w->windowTitle().toStdString();
    }
    EXPECT_TRUE(frameOf(manager)->isMaximized());

    // Asked for again, the manager comes back maximised.
    EXPECT_EQ(view->openParameterManager(), manager);
    EXPECT_TRUE(frameOf(manager)->isMaximized());
}

TEST(WindowGeometry, ManagerListAndButtonsOnA1024WideScreenInChinese) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    w->resize(1000, 620);
    QApplication::processEvents();
    expectUsableManager(w);
    keepScreenshot(w, "parameter-manager-zh.png");
}

TEST(WindowGeometry, ManagerInEnglishShowsEnglishTextsAndStaysUsable) {
    ParameterWindowFixture f;
    EnglishInterface english;
    ASSERT_TRUE(english.loaded);
    CParameterManage* w = f.open();
    w->resize(1000, 620);
    QApplication::processEvents();
    expectUsableManager(w);

    // Remarks, units and categories from the database's English columns.
    CListCtrlEx* list = w->parameterList();
    for (int row = 0; row < list->rowCount(); ++row) {
        EXPECT_FALSE(hasChinese(list->cellText(row, CListCtrlEx::RemarkColumn))) << row;
        EXPECT_FALSE(hasChinese(list->cellText(row, CListCtrlEx::UnitsColumn))) << row;
    }
    ASSERT_GT(w->categoryList()->count(), 2);
    for (int i = 0; i < w->categoryList()->count(); ++i)
        EXPECT_FALSE(hasChinese(w->categoryList()->item(i)->text())) << w->categoryList()->item(i)->text().toStdString();
    EXPECT_EQ(w->categoryList()->item(1)->text(), "P0 Basic settings");

    // Choosing an English category filters as the Chinese one does.
    w->categoryList()->setCurrentRow(1);
    ASSERT_TRUE(f.waitIdle());
    ASSERT_GT(list->rowCount(), 0);
    for (int row = 0; row < list->rowCount(); ++row)
        EXPECT_TRUE(list->cellText(row, CListCtrlEx::NameColumn).startsWith("Pr0.")) << row;
    w->categoryList()->setCurrentRow(0);
    ASSERT_TRUE(f.waitIdle());
    keepScreenshot(w, "parameter-manager-en.png");

    // Help opens the English page of the parameter.
    EXPECT_TRUE(ParameterHelpPath("Pr0.01").endsWith("/HelpFile/ParametersHelpEN/Pr0.01.html"))
        << ParameterHelpPath("Pr0.01").toStdString();
    g_language = 4;
    EXPECT_TRUE(ParameterHelpPath("Pr0.01").endsWith("/HelpFile/ParametersHelp/Pr0.01.html"));
    g_language = 9;
}

// The windows a newcomer opens, on the whole screen as the user sees it, in
// both languages. For the documentation: run on an X display of the size to
// show (1600x1000, 1366x768) with HALVEX_SCREENSHOT_DIR set.
TEST(WindowGeometry, NewcomersScreens) {
    const char* dir = std::getenv("HALVEX_SCREENSHOT_DIR");
    if (!dir || QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "needs a display and HALVEX_SCREENSHOT_DIR";
    QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen->size();
    for (const bool inEnglish : {false, true}) {
        ParameterWindowFixture f;
        std::optional<EnglishInterface> english;
        if (inEnglish) english.emplace();
        const QString suffix = QStringLiteral("-%1-%2x%3.png").arg(inEnglish ? "en" : "zh").arg(size.width()).arg(size.height());
        auto shoot = [&](const QString& name) {
            for (int i = 0; i < 20; ++i) QTest::qWait(10);
            screen->grabWindow(0).save(QString(dir) + "/" + name + suffix);
        };
        CMainFrame frame;
        frame.setGeometry(QRect(QPoint(0, 0), size));
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        CVelmoraView* view = frame.view();
        ASSERT_TRUE(WaitUntil([&] { return view->area()->subWindowList().size() == 1; }, 3000));
        view->area()->subWindowList().front()->close();
        QApplication::processEvents();

        // The parameter manager with a row chosen, and its help beside the toolbar.
        auto* manager = static_cast<CParameterManage*>(view->openParameterManager());
        ASSERT_TRUE(WaitUntil([&] { return !manager->busy(); }, 8000));
        CListCtrlEx* list = manager->parameterList();
        const QRect cell = list->visualRect(list->model()->index(list->rowOfAddress(7), CListCtrlEx::NameColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        shoot("newcomer-parameters");
        QTest::mouseClick(manager->helpButton(), Qt::LeftButton);
        shoot("newcomer-help");
        HelpWindow::instance()->close();
        frameOf(manager)->close();
        QApplication::processEvents();

        // The wizard on its fourth step, then its question at the end.
        auto* wizard = static_cast<CGuideSettings*>(view->openWizard());
        ASSERT_TRUE(WaitUntil([&] { return !wizard->busy(); }, 8000));
        for (int i = 0; i < 3; ++i) {
            wizard->nextButton()->click();
            ASSERT_TRUE(WaitUntil([&] { return !wizard->busy(); }, 8000));
        }
        shoot("newcomer-wizard");
        hx::gui::SetMessageHandler([&](const MessageRecord& r) {
            ChangesQuestion box(wizard, r.text, r.caption, r.changed, r.unchanged, r.details.section(QLatin1Char(0x0a), -1));
            box.show();
            box.move(frame.geometry().center() - box.rect().center());
            shoot("newcomer-wizard-summary");
            return false;
        });
        wizard->currentPage()->peakEdit()->setText("3000");
        wizard->nextButton()->click();
        hx::gui::SetMessageHandler({});
        wizard->cancelButton()->click();
        QApplication::processEvents();

        // The alarm history with two alarms.
        f.drive->Drive().RaiseAlarm(13);
        f.drive->Drive().RaiseAlarm(9);
        auto* alarms = static_cast<CAlarm*>(view->openAlarm());
        alarms->tabs()->setCurrentWidget(alarms->historyPage());
        alarms->historyPage()->readButton()->click();
        ASSERT_TRUE(WaitUntil([&] { return alarms->historyPage()->list()->rowCount() == 2; }, 8000));
        alarms->historyPage()->list()->setCurrentCell(0, 0);
        alarms->historyPage()->showCausesOfSelectedRow();
        shoot("newcomer-alarms");
        frameOf(alarms)->close();
        QApplication::processEvents();

        // The run test's resonance page with the trapezoid it runs.
        auto* run = static_cast<CRunTest*>(view->openRunTest());
        ASSERT_NE(run, nullptr);
        run->enterResonanceMode();
        ASSERT_TRUE(WaitUntil([&] { return run->resonancePage()->loads() == 1; }, 8000));
        shoot("newcomer-runtest");
        frameOf(run)->close();
        QApplication::processEvents();

        // The settings and the about box.
        view->openEnvironment();
        view->openAbout();
        shoot("newcomer-settings-about");
    }
}
