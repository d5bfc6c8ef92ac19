// Start-up: the language settled from the settings file and the catalogue.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFontDatabase>
#include <QMenuBar>
#include <filesystem>

#include "GuiTestUtil.h"
#include "core/Globals.h"
#include "core/settings/EnvSettings.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraApp.h"
#include "support/TestSupport.h"

using namespace hx::gui;
using hx::test::MessageRecorder;
using hx::test::TempProgramFolder;

namespace {
QString firstMenu(CMainFrame* frame, int i) { return frame->menuBar()->actions().at(i)->text(); }
}  // namespace

TEST(Startup, EnglishCatalogueOrChineseFallback) {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    StartOptions options;
    options.showWindow = false;
    {
        // No settings file: English is chosen, but this folder has no catalogue.
        TempProgramFolder folder;
        MessageRecorder messages;
        CVelmoraApp app;
        ASSERT_TRUE(app.InitInstance(options));
        EXPECT_EQ(g_language, 9);
        EXPECT_TRUE(messages.saw("Unable to load resource DLL!\n\rUse self-resource!"));
        EXPECT_EQ(firstMenu(app.mainFrame(), 1), "通 信") << "goes on in Chinese";
    }
    {
        TempProgramFolder folder;
        std::filesystem::create_directories(folder.File("i18n"));
        std::filesystem::copy_file(hx::test::BuildBinFolder() + "/i18n/halvex_en.qm", folder.File("i18n/halvex_en.qm"));
        MessageRecorder messages;
        CVelmoraApp app;
        ASSERT_TRUE(app.InitInstance(options));
        EXPECT_TRUE(messages.records.empty());
        EXPECT_EQ(firstMenu(app.mainFrame(), 1), "Communication");
    }
    {
        // Chinese stored on an English locale: a font that covers Chinese is
        // installed, so the interface renders and nobody is asked to leave it.
        // (Without such a font the locale decides; the settings tests ask.)
        ASSERT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) << "install fonts-noto-cjk";
        TempProgramFolder folder;
        hx::env::Write(hx::env::kLanguage, "Type", "4");
        MessageRecorder messages;
        CVelmoraApp app;
        ASSERT_TRUE(app.InitInstance(options));
        EXPECT_TRUE(messages.records.empty()) << messages.lastText().toStdString();
        EXPECT_EQ(g_language, 4);
        EXPECT_EQ(firstMenu(app.mainFrame(), 1), "通 信");
        EXPECT_EQ(hx::env::Read(hx::env::kLanguage, "Type", "x"), "4");
    }
}
