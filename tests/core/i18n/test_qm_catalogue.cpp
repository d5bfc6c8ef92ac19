// The English catalogue as the command-line tool reads it without Qt: the
// program's own catalogue, built by lrelease from resources/i18n.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "core/i18n/QmCatalogue.h"
#include "core/i18n/StringTable.h"
#include "support/TestSupport.h"

namespace {

std::string CataloguePath() { return hx::test::BuildBinFolder() + "/i18n/halvex_en.qm"; }

}  // namespace

TEST(QmCatalogue, FindsEveryTranslationOfTheSources) {
    hx::QmCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(CataloguePath()));
    // Every finished translation of the sources, none more.
    std::size_t translations = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::string(HALVEX_SOURCE_DIR) + "/resources/i18n")) {
        const std::string ts = hx::test::ReadFileBytes(e.path().string());
        static const std::regex finished("<translation>[^<]+</translation>");
        translations += std::distance(std::sregex_iterator(ts.begin(), ts.end(), finished), std::sregex_iterator());
    }
    EXPECT_EQ(catalogue.Size(), translations);

    const struct {
        const char* context;
        const char* source;
        const char* english;
    } cases[] = {
        {"StringTable", "位置误差(p)", "Position error(p)"},
        {"BodePlot", "相位(°)", "Phase(°)"},  // beyond ASCII in the translation too
        {"Backup", "写入前无法保存驱动器参数的备份，没有写入任何参数。\n%1",
         "The drive's parameters could not be backed up before writing, so nothing was written.\n%1"},
        {"Backup", "位置误差(p)", ""},  // another context's text
        {"StringTable", "没有这句", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(catalogue.Find(c.context, c.source), c.english) << c.source;
}

TEST(QmCatalogue, RefusesWhatIsNoCatalogue) {
    hx::test::TempProgramFolder folder;
    const std::string whole = hx::test::ReadFileBytes(CataloguePath());
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"cut.qm", whole.substr(0, whole.size() - 3)},
        {"text.qm", "[Language]\nType=9\n"},
    };
    for (const auto& f : files) {
        std::ofstream(folder.File(f.name), std::ios::binary) << f.bytes;
        hx::QmCatalogue catalogue;
        EXPECT_FALSE(catalogue.Load(folder.File(f.name))) << f.name;
        EXPECT_EQ(catalogue.Size(), 0u);
    }
    // A program whose catalogue is missing keeps its built-in texts.
    EXPECT_FALSE(hx::InstallCatalogue(folder.File("missing.qm")));
    EXPECT_EQ(hx::LoadString(40100), "位置误差(p)");
    EXPECT_TRUE(hx::InstallCatalogue(CataloguePath()));
    EXPECT_EQ(hx::LoadString(40100), "Position error(p)");
}
