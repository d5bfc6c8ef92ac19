#pragma once
// What the frequency-response window shows, made from the tuning's results:
// the plant, the loop as measured (before), the loop predicted with the
// proposal (after), its marks, and the notches placed. The window only
// draws these; every figure on it comes from here.

#include <functional>
#include <string>
#include <vector>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP
#include "core/plot/BodeModel.h"
#include "core/tuning/FrequencyResponse.h"
#include "core/tuning/GainDesign.h"

namespace hx::tuning {

inline constexpr const char* kBodeTextContext = "Tuning";
inline constexpr const char* kPlantName = QT_TRANSLATE_NOOP("Tuning", "对象");
inline constexpr const char* kLoopBeforeName = QT_TRANSLATE_NOOP("Tuning", "开环（调整前）");
inline constexpr const char* kLoopAfterName = QT_TRANSLATE_NOOP("Tuning", "开环（调整后）");

struct BodeSeries {
    std::string name;  // untranslated (the names above)
    FrequencyResponse response;
    bool loop = false;      // phase drawn as a loop's (from -90 .. -180 down)
    bool predicted = false; // drawn dashed
    plot::Colorref colour = 0xFFFFFF;
};

struct BodeData {
    std::vector<BodeSeries> series;
    LoopMargins margins;         // of the loop the marks belong to
    int markedSeries = -1;       // which series that is
    std::vector<Notch> notches;  // active in that loop
    // What that loop must hold: more than the usual where the tuning asks
    // room for the measurement's error (see TuneResult).
    double requiredPhaseDeg = kMinPhaseMarginDeg;
    double requiredGainDb = kMinGainMarginDb;
};

// The measured plant (normalised, the rotor's inertia as unit), the loop
// before and the predicted loop after, margins of the latter (of the
// former when the design did not succeed).
BodeData BodeFromDesign(const Identification& id, const Design& design);
// One loop alone (a measurement, or the truth of a machine), with its margins.
BodeData BodeOfLoop(const FrequencyResponse& openLoop, const std::string& name, const std::vector<Notch>& notches = {});

// The curves and marks for the plot; translate(name) gives each curve's name.
std::vector<plot::BodeCurve> BodeCurves(const BodeData& data, const std::function<std::string(const char*)>& translate);
plot::BodeMarks BodeMarksOf(const BodeData& data);

}  // namespace hx::tuning
