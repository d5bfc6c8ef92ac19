#pragma once
// A tuning's measurement as text, for replaying the identification and the
// design without the moves (bench_tune --record, bench_tune_replay).

#include <istream>
#include <ostream>

#include "core/tuning/TuneSequence.h"

namespace tunebench {

struct Recording {
    hx::tuning::ServoWords before;
    hx::tuning::RigidBody probe;
    hx::tuning::PlantMeasurement measurement;
    std::vector<std::vector<float>> probeSpeed, probeCurrent;  // empty in older recordings
    double probeIntervalUs = 0;
};

inline void WriteRecords(std::ostream& o, const std::vector<std::vector<float>>& records) {
    o << records.size() << '\n';
    for (const auto& r : records) {
        o << r.size();
        for (float v : r) o << ' ' << v;
        o << '\n';
    }
}
inline void ReadRecords(std::istream& in, std::vector<std::vector<float>>& records) {
    std::size_t n = 0, points = 0;
    if (!(in >> n)) return;
    records.assign(n, {});
    for (auto& r : records) {
        if (!(in >> points)) return;
        r.resize(points);
        for (float& v : r) in >> v;
    }
}

inline void WriteResponse(std::ostream& o, const hx::tuning::FrequencyResponse& r) {
    o << r.size() << ' ' << r.averages << '\n';
    for (std::size_t i = 0; i < r.size(); ++i)
        o << r.hz[i] << ' ' << r.value[i].real() << ' ' << r.value[i].imag() << ' ' << r.CoherenceAt(i) << '\n';
}
inline bool ReadResponse(std::istream& in, hx::tuning::FrequencyResponse& r) {
    std::size_t n = 0;
    if (!(in >> n >> r.averages)) return false;
    for (std::size_t i = 0; i < n; ++i) {
        double f, re, im, c;
        if (!(in >> f >> re >> im >> c)) return false;
        r.hz.push_back(f);
        r.value.emplace_back(re, im);
        r.coherence.push_back(c);
    }
    return true;
}
inline void WriteWords(std::ostream& o, const hx::tuning::ServoWords& w) {
    o << w.pr104 << ' ' << w.pr105 << ' ' << w.pr106 << ' ' << w.pr113 << ' ' << w.pr125 << ' ' << w.pr127;
    for (const auto& n : w.notches) o << ' ' << n.frequency << ' ' << n.width << ' ' << n.depth;
    o << '\n';
}
inline bool ReadWords(std::istream& in, hx::tuning::ServoWords& w) {
    in >> w.pr104 >> w.pr105 >> w.pr106 >> w.pr113 >> w.pr125 >> w.pr127;
    for (auto& n : w.notches) in >> n.frequency >> n.width >> n.depth;
    return static_cast<bool>(in);
}
inline void WriteRecording(std::ostream& o, const hx::tuning::TuneResult& r) {
    o.precision(17);
    WriteWords(o, r.before);
    const hx::tuning::RigidBody p = r.probe.value_or(hx::tuning::RigidBody{});
    o << p.maPerRevPerS2.value_or(-1) << ' ' << p.coulombMa << ' ' << p.viscousMaPerRps << ' ' << p.offsetMa << ' '
      << p.points << ' ' << p.residualMa << '\n';
    WriteResponse(o, r.measurement.openLoop);
    WriteResponse(o, r.measurement.plant);
    o << r.probeIntervalUs << '\n';
    WriteRecords(o, r.probeSpeed);
    WriteRecords(o, r.probeCurrent);
    WriteResponse(o, r.measurement.currentOverError);
    WriteWords(o, hx::tuning::ToWords(r.measurement.during));  // lower than `before` for a hunting motor
}
inline bool ReadRecording(std::istream& in, Recording& rec) {
    if (!ReadWords(in, rec.before)) return false;
    double ma = 0;
    in >> ma >> rec.probe.coulombMa >> rec.probe.viscousMaPerRps >> rec.probe.offsetMa >> rec.probe.points >>
        rec.probe.residualMa;
    if (ma > 0) rec.probe.maPerRevPerS2 = ma;
    rec.measurement.during = hx::tuning::FromWords(rec.before);
    if (!ReadResponse(in, rec.measurement.openLoop) || !ReadResponse(in, rec.measurement.plant)) return false;
    if (in >> rec.probeIntervalUs) {
        ReadRecords(in, rec.probeSpeed);
        ReadRecords(in, rec.probeCurrent);
        ReadResponse(in, rec.measurement.currentOverError);  // not in older recordings
        if (hx::tuning::ServoWords during; ReadWords(in, during)) rec.measurement.during = hx::tuning::FromWords(during);
    }
    return true;
}

}  // namespace tunebench
