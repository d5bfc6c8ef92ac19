// The drawing module halvex-cli loads for its pictures draws what the
// windows' own export draws, byte for byte.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "cli/draw/DrawModule.h"
#include "gui/plot/BodeRenderer.h"
#include "support/TestSupport.h"

TEST(DrawModule, DrawsTheBodePlotAsTheWindowExportsIt) {
    void* handle = ::dlopen((hx::test::BuildBinFolder() + "/" + hx::draw::kDrawModuleFile).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto entry = reinterpret_cast<const hx::draw::DrawModule* (*)()>(::dlsym(handle, hx::draw::kDrawModuleEntry));
    ASSERT_NE(entry, nullptr);
    const hx::draw::DrawModule* module = entry();
    ASSERT_EQ(module->version, hx::draw::kDrawModuleVersion);

    hx::plot::BodeCurve loop;
    loop.name = "loop";
    for (double hz = 10; hz <= 1000; hz *= 1.25) {
        loop.hz.push_back(hz);
        loop.db.push_back(20 - 20 * std::log10(hz / 10));
        loop.deg.push_back(-90 - hz / 20);
    }
    hx::plot::BodeModel model;
    model.SetCurves({loop});
    hx::test::TempProgramFolder folder;
    std::string error;
    ASSERT_TRUE(module->plotBode(model, folder.File("module.png"), 640, 400, {}, &error)) << error;
    QString why;
    ASSERT_TRUE(hx::gui::SaveBodeImage(model, QString::fromStdString(folder.File("window.png")), QSize(640, 400), &why))
        << why.toStdString();
    EXPECT_EQ(hx::test::ReadFileBytes(folder.File("module.png")), hx::test::ReadFileBytes(folder.File("window.png")));
}
