// Function windows open in their own shape whatever the others do, the
// parameter list shows every value whole, and the manager stays usable on a
// 1024-pixel-wide screen, in Chinese and in English.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPushButton>
#include <QRegularExpression>

#include "gui/ParameterWindowFixture.h"
#include "gui/widgets/HelpWindow.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/comm/ConnectCom.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

namespace {

QMdiSubWindow* frameOf(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }

bool hasChinese(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))); }

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
    CMainFrame frame(theComm);
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

TEST(WindowGeometry, ManagerFitsA1024WideScreenInBothLanguagesAndShowsEnglishTexts) {
    ParameterWindowFixture f;
    CParameterManage* w = f.open();
    w->resize(1000, 620);
    QApplication::processEvents();
    expectUsableManager(w);
    f.window.reset();

    hx::test::EnglishCatalogue english;
    ASSERT_TRUE(english.loaded());
    g_language = 9;
    w = f.open();
    w->resize(1000, 620);
    QApplication::processEvents();
    expectUsableManager(w);

    // Remarks, units and categories from the database's English columns.
    CListCtrlEx* list = w->parameterList();
    for (int row = 0; row < list->rowCount(); ++row) {
        EXPECT_FALSE(hasChinese(list->cellText(row, CListCtrlEx::RemarkColumn))) << row;
        EXPECT_FALSE(hasChinese(list->cellText(row, CListCtrlEx::UnitsColumn))) << row;
    }
    // The English category labels are longer: the left column grows to show
    // them whole ("P5 Extended settings") and the list moves aside.
    CListBoxEx* categories = w->categoryList();
    ASSERT_GT(categories->count(), 2);
    const QFontMetrics categoryFont(categories->font());
    QStringList labels;
    for (int i = 0; i < categories->count(); ++i) {
        labels << categories->item(i)->text();
        EXPECT_FALSE(hasChinese(labels.back())) << labels.back().toStdString();
        EXPECT_LE(categoryFont.horizontalAdvance(labels.back()), categories->viewport()->width() - 4) << labels.back().toStdString();
    }
    EXPECT_TRUE(labels.contains("P5 Extended settings"));
    EXPECT_EQ(list->x(), categories->geometry().right() + 11);

    // Choosing an English category filters as the Chinese one does.
    w->categoryList()->setCurrentRow(1);
    ASSERT_TRUE(f.waitIdle());
    ASSERT_GT(list->rowCount(), 0);
    for (int row = 0; row < list->rowCount(); ++row)
        EXPECT_TRUE(list->cellText(row, CListCtrlEx::NameColumn).startsWith("Pr0.")) << row;
    w->categoryList()->setCurrentRow(0);
    ASSERT_TRUE(f.waitIdle());

    // Help opens the English page of the parameter.
    EXPECT_TRUE(ParameterHelpPath("Pr0.01").endsWith("/HelpFile/ParametersHelpEN/Pr0.01.html"))
        << ParameterHelpPath("Pr0.01").toStdString();
    g_language = 4;
    EXPECT_TRUE(ParameterHelpPath("Pr0.01").endsWith("/HelpFile/ParametersHelp/Pr0.01.html"));
}
