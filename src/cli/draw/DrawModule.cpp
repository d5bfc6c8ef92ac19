// halvex-draw.so: the pictures of halvex-cli, drawn with the windows' own
// renderers offscreen. Loaded by the command that draws, never linked.

#include "cli/draw/DrawModule.h"

#include <clocale>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QTranslator>
#include <algorithm>
#include <array>
#include <memory>

#include "core/capture/ChannelSources.h"
#include "core/capture/WaveRecording.h"
#include "core/i18n/QmCatalogue.h"
#include "core/i18n/StringTable.h"
#include "core/plot/ScopeModel.h"
#include "gui/plot/BodeRenderer.h"
#include "gui/plot/ScopeExport.h"

namespace {

// Drawing needs a Qt Gui application; a terminal without a display has the
// offscreen platform. The module's core is its own copy, so the language is
// installed here too: the core's texts and the renderers' own.
class Drawing {
public:
    explicit Drawing(const std::string& englishCatalogue) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QGuiApplication::instance()) {
            static int argc = 1;
            static char name[] = "halvex-cli";
            static char* argv[] = {name, nullptr};
            m_app = std::make_unique<QGuiApplication>(argc, argv);
            // Qt took the user's locale for the C library too; the command
            // line's numbers and files keep their decimal points.
            std::setlocale(LC_NUMERIC, "C");
        }
        if (!englishCatalogue.empty()) {
            hx::InstallCatalogue(englishCatalogue);
            if (m_english.load(QString::fromStdString(englishCatalogue)))
                QCoreApplication::installTranslator(&m_english);
        }
    }
    ~Drawing() { QCoreApplication::removeTranslator(&m_english); }

private:
    std::unique_ptr<QGuiApplication> m_app;
    QTranslator m_english;
};

bool PlotWave(const hx::WaveRecording& recording, const std::string& output, int width, int height,
              const std::string& englishCatalogue, std::string* error) {
    Drawing drawing(englishCatalogue);
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
                model.PlotPoint(k, i, hx::HexToSample(recording.lists[k][static_cast<std::size_t>(i)]));
    model.ApplyCommonRanges();
    QString why;
    if (!hx::gui::SaveScopeImage(model, QString::fromStdString(output), QSize(width, height), {}, &why)) {
        *error = why.toStdString();
        return false;
    }
    return true;
}

bool PlotBode(const hx::plot::BodeModel& model, const std::string& output, int width, int height,
              const std::string& englishCatalogue, std::string* error) {
    Drawing drawing(englishCatalogue);
    QString why;
    if (!hx::gui::SaveBodeImage(model, QString::fromStdString(output), QSize(width, height), &why)) {
        *error = why.toStdString();
        return false;
    }
    return true;
}

const hx::draw::DrawModule kModule = {hx::draw::kDrawModuleVersion, &PlotWave, &PlotBode};

}  // namespace

extern "C" __attribute__((visibility("default"))) const hx::draw::DrawModule* halvex_draw_module() {
    return &kModule;
}
