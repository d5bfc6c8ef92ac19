#include "core/tuning/BodeData.h"

namespace hx::tuning {

namespace {

constexpr plot::Colorref kPlantColour = 0x00C0FF;   // amber
constexpr plot::Colorref kBeforeColour = 0xA0A0A0;  // grey
constexpr plot::Colorref kAfterColour = 0x40FF40;   // green

std::vector<Notch> ActiveNotches(const ServoLoop& loop) {
    std::vector<Notch> out;
    for (const Notch& n : loop.notches)
        if (n.Active()) out.push_back(n);
    return out;
}

}  // namespace

BodeData BodeFromDesign(const Identification& id, const Design& d) {
    BodeData b;
    if (!id.plant.g.empty()) b.series.push_back({kPlantName, id.plant.g, false, false, kPlantColour});
    if (!d.openLoopBefore.empty()) b.series.push_back({kLoopBeforeName, d.openLoopBefore, true, false, kBeforeColour});
    if (d.status == Design::Status::Ok && !d.openLoop.empty()) {
        b.series.push_back({kLoopAfterName, d.openLoop, true, true, kAfterColour});
        b.margins = d.margins;
        b.markedSeries = static_cast<int>(b.series.size()) - 1;
        b.notches = ActiveNotches(d.loop);
    } else {
        b.margins = d.marginsBefore;
        b.markedSeries = d.openLoopBefore.empty() ? -1 : static_cast<int>(b.series.size()) - 1;
        b.notches = ActiveNotches(d.loop);
    }
    return b;
}

BodeData BodeOfLoop(const FrequencyResponse& openLoop, const std::string& name, const std::vector<Notch>& notches) {
    BodeData b;
    b.series.push_back({name, openLoop, true, false, kAfterColour});
    b.margins = ComputeMargins(openLoop);
    b.markedSeries = 0;
    b.notches = notches;
    return b;
}

std::vector<plot::BodeCurve> BodeCurves(const BodeData& data, const std::function<std::string(const char*)>& translate) {
    std::vector<plot::BodeCurve> out;
    for (const BodeSeries& s : data.series) {
        plot::BodeCurve c;
        c.name = translate ? translate(s.name.c_str()) : s.name;
        c.hz = s.response.hz;
        c.db = MagnitudesDb(s.response);
        c.deg = s.loop ? LoopPhaseDeg(s.response) : UnwrappedPhaseDeg(s.response);
        if (!s.predicted && !s.response.coherence.empty()) c.coherence = s.response.coherence;
        c.colour = s.colour;
        c.dashed = s.predicted;
        out.push_back(std::move(c));
    }
    return out;
}

plot::BodeMarks BodeMarksOf(const BodeData& data) {
    plot::BodeMarks m;
    m.curve = data.markedSeries;
    m.crossoverHz = data.margins.crossoverHz;
    m.phaseMarginDeg = data.margins.phaseMarginDeg;
    m.phaseMarginHz = data.margins.phaseMarginHz;
    m.gainMarginDb = data.margins.gainMarginDb;
    m.phaseCrossoverHz = data.margins.phaseCrossoverHz;
    for (const Notch& n : data.notches) m.notchHz.push_back(n.centerHz);
    return m;
}

}  // namespace hx::tuning
