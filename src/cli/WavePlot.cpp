#include "cli/WavePlot.h"

#include <cstdlib>
#include <memory>

#include "core/i18n/StringTable.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"

#ifdef HALVEX_CLI_PLOT
#include <QGuiApplication>
#include <QString>
#include <QTranslator>
#include <algorithm>

#include "core/capture/ChannelSources.h"
#include "core/plot/ScopeModel.h"
#include "gui/plot/ScopeExport.h"
#endif

namespace {

#ifdef HALVEX_CLI_PLOT
QTranslator* g_english = nullptr;

std::string translateEnglish(const char* context, const char* source) {
    const QString t = g_english ? g_english->translate(context, source) : QString();
    return t.isEmpty() ? std::string(source) : t.toStdString();
}
#endif

}  // namespace

bool UseCliLanguage(const std::string& lang) {
    bool english = false;
    if (lang.empty()) english = hx::env::ReadInt(hx::env::kLanguage, "Type", "4") == 9;
    else if (lang == "en") english = true;
    else if (lang != "zh") return false;
#ifdef HALVEX_CLI_PLOT
    if (english) {
        static QTranslator translator;
        if (translator.load(QString::fromStdString(hx::DataFolder() + "/i18n/halvex_en.qm"))) {
            g_english = &translator;
            hx::SetTranslator(&translateEnglish);
        }
    }
#else
    (void)english;
#endif
    return true;
}

bool PlotWaveFile(const hx::WaveRecording& recording, const std::string& output, int width, int height,
                  std::string* error) {
#ifdef HALVEX_CLI_PLOT
    // Drawing needs a Qt Gui application; a terminal without a display has
    // the offscreen platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        static int argc = 1;
        static char name[] = "halvex-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    int n = 0;
    for (int k = 0; k < 4; ++k)
        if (recording.codes[k] != 0) n = std::max(n, static_cast<int>(recording.lists[k].size()));
    hx::plot::ScopeModel model;
    model.SetPointsPerChannel(static_cast<uint16_t>(std::clamp(n, 1, 65535)));
    model.SetYCaption(hx::LoadString(50041));
    model.SetXCaption(hx::LoadString(50042));
    model.SetXRange(0, static_cast<float>(n), 2);
    model.SetAxisValues(0, static_cast<float>(n) * recording.intervalUs);
    std::array<int32_t, 4> types{};
    for (int k = 0; k < 4; ++k) {
        model.SetChannelRange(k, -5, 5);
        types[k] = recording.codes[k];
        model.SetChannelVisible(k, recording.codes[k] != 0);
    }
    model.SetChannelTypes(types, [](int32_t code) {
        const std::string name = hx::ChannelSourceName(static_cast<uint16_t>(code));
        return name.empty() ? hx::LoadString(40120) : name;
    });
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            if (recording.codes[k] != 0 && i < static_cast<int>(recording.lists[k].size()))
                model.PlotPoint(k, i, hx::HexToSample(recording.lists[k][static_cast<std::size_t>(i)]), n);
    model.ApplyCommonRanges();
    QString why;
    if (!hx::gui::SaveScopeImage(model, QString::fromStdString(output), QSize(width, height), {}, &why)) {
        *error = why.toStdString();
        return false;
    }
    return true;
#else
    (void)recording, (void)output, (void)width, (void)height;
    *error = "this halvex-cli was built without the windows and cannot draw plots";
    return false;
#endif
}
