#include "cli/WavePlot.h"

#include <dlfcn.h>

#include <filesystem>

#include "cli/draw/DrawModule.h"
#include "core/i18n/QmCatalogue.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"

namespace {

// The English catalogue once a command chose English, else empty.
std::string g_englishCatalogue;

// The drawing module: beside the program in a build folder, in
// <prefix>/lib/halvex beside <prefix>/bin when installed. Loaded once, on
// the first picture; null with the reason when it cannot be.
const hx::draw::DrawModule* LoadDrawModule(std::string* error) {
    static const hx::draw::DrawModule* module = nullptr;
    static std::string why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        namespace fs = std::filesystem;
        const fs::path program = hx::ProgramFolder();
        fs::path path = program / hx::draw::kDrawModuleFile;
        std::error_code ec;
        if (!fs::exists(path, ec)) path = program.parent_path() / "lib" / "halvex" / hx::draw::kDrawModuleFile;
        if (!fs::exists(path, ec)) {
            why = "this halvex-cli cannot draw plots: " + std::string(hx::draw::kDrawModuleFile) +
                  " is not installed beside it";
        } else if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Entry = const hx::draw::DrawModule* (*)();
            const auto entry = reinterpret_cast<Entry>(::dlsym(handle, hx::draw::kDrawModuleEntry));
            module = entry ? entry() : nullptr;
            if (!module || module->version != hx::draw::kDrawModuleVersion) {
                module = nullptr;
                why = path.string() + " belongs to another version of halvex-cli";
            }
        } else {
            why = "cannot load " + path.string() + ": " + ::dlerror();
        }
    }
    if (!module) *error = why;
    return module;
}

}  // namespace

bool UseCliLanguage(const std::string& lang) {
    bool english = false;
    if (lang.empty()) english = hx::env::ReadInt(hx::env::kLanguage, "Type", "4") == 9;
    else if (lang == "en") english = true;
    else if (lang != "zh") return false;
    if (english) {
        const std::string catalogue = hx::DataFolder() + "/i18n/halvex_en.qm";
        // Without the catalogue the names stay in Chinese, as in the window.
        if (hx::InstallCatalogue(catalogue)) g_englishCatalogue = catalogue;
    }
    return true;
}

bool PlotWaveFile(const hx::WaveRecording& recording, const std::string& output, int width, int height,
                  std::string* error) {
    const hx::draw::DrawModule* module = LoadDrawModule(error);
    return module && module->plotWave(recording, output, width, height, g_englishCatalogue, error);
}
