#pragma once
// The commands that draw pictures need Qt Gui, with its fifty libraries (X11,
// EGL, fontconfig, ICU) that cost a one-shot command more than its whole
// exchange with a drive. So the drawing lives in a module of its own,
// halvex-draw.so, that halvex-cli loads only when a command draws (see
// LoadDrawModule in WavePlot.cpp); every other command runs without Qt.
//
// The module is built from the same sources as the program, so it takes the
// core's types as they are; the version refuses a module of another build.
// A new picture is one more entry here and in DrawModule.cpp.

#include <string>

#include "core/capture/WaveRecording.h"

namespace hx::plot {
class BodeModel;
}

namespace hx::draw {

inline constexpr int kDrawModuleVersion = 1;
inline constexpr const char* kDrawModuleFile = "halvex-draw.so";
inline constexpr const char* kDrawModuleEntry = "halvex_draw_module";

struct DrawModule {
    int version;
    // The recording as the waveform window shows it, into a PNG or SVG of
    // width x height; englishCatalogue: the catalogue to name channels and
    // axes in English, empty for Chinese. false with a one-line reason.
    bool (*plotWave)(const hx::WaveRecording& recording, const std::string& output, int width, int height,
                     const std::string& englishCatalogue, std::string* error);
    // The Bode plot of the model into a PNG or SVG of width x height, the
    // same way.
    bool (*plotBode)(const hx::plot::BodeModel& model, const std::string& output, int width, int height,
                     const std::string& englishCatalogue, std::string* error);
};

}  // namespace hx::draw

// What the module exports, the one symbol halvex-cli looks up.
extern "C" const hx::draw::DrawModule* halvex_draw_module();
