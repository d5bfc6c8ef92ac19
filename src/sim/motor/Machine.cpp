#include "sim/motor/Machine.h"

#include "sim/DriveOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>

namespace hx::sim {
namespace {

double Number(const std::string& key, const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (text.empty() || end == s || *end != '\0' || errno != 0 || !std::isfinite(v))
        throw std::invalid_argument(key + " takes a number, not \"" + text + "\"");
    return v;
}

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, at)) parts.push_back(part);
    if (!text.empty() && text.back() == at) parts.emplace_back();
    return parts;
}

}  // namespace

double InertiaRatioOf(const MachineSpec& m) {
    if (m.inertiaRatio > 0) return m.inertiaRatio;
    return kDefaultLoadRatio + (m.lowHz > 0 ? kDefaultSwingRatio : 0.0);
}

std::vector<Mode> ModesOf(const MachineSpec& m, double jm) {
    std::vector<Mode> modes;
    double given = 0;
    int unshared = 0;
    if (m.lowHz > 0) {
        modes.push_back({m.lowHz, m.lowDamping, m.lowShare, 0});
        given += m.lowShare;
    }
    for (const Resonance& r : m.resonances) {
        modes.push_back({r.hz, r.damping, r.share, 0});
        if (r.share > 0)
            given += r.share;
        else
            ++unshared;
    }
    const double even = unshared > 0 ? std::max(0.0, 1.0 - given) / unshared : 0.0;
    for (Mode& mode : modes)
        if (mode.share <= 0) mode.share = even;
    std::sort(modes.begin(), modes.end(), [](const Mode& a, const Mode& b) { return a.hz < b.hz; });

    const double load = InertiaRatioOf(m) * jm;
    double before = jm + load;
    std::vector<Mode> moving;
    for (Mode mode : modes) {
        const double after = std::max(jm, before - mode.share * load);
        if (after >= before) continue;
        mode.residue = 1 / after - 1 / before;
        before = after;
        moving.push_back(mode);
    }
    return moving;
}

MachineSpec DrawMachine(unsigned seed, bool lowSwing) {
    std::mt19937 rng(seed * 2654435761u + 97u);
    auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto logUniform = [&uniform](double lo, double hi) { return std::exp(uniform(std::log(lo), std::log(hi))); };
    MachineSpec m;
    m.inertiaRatio = logUniform(0.5, 20);
    m.lowHz = 0;
    const int count = 1 + static_cast<int>(rng() % kMaxResonances);
    m.resonances.clear();
    double left = 1;
    for (int i = 0; i < count; ++i) {
        Resonance r;
        r.hz = logUniform(150, 1500);
        r.damping = uniform(0.02, 0.1);
        // The first mode moves most of the load, the others smaller parts.
        r.share = i == 0 ? uniform(0.3, 0.9) : uniform(0.03, 0.2) * left;
        left -= r.share;
        m.resonances.push_back(r);
    }
    m.coulombNm = uniform(0.005, 0.05);
    m.viscousNmsPerRad = logUniform(5e-5, 5e-4);
    // Drawn after the rest, so that a seed's machine is the same with or
    // without its swing.
    if (lowSwing) {
        m.lowHz = logUniform(10, 40);
        m.lowDamping = uniform(0.02, 0.08);
        m.lowShare = uniform(0.3, 0.8);
        for (Resonance& r : m.resonances) r.share *= 1 - m.lowShare;
    }
    return m;
}

Resonance ParseResonance(const std::string& text) {
    const auto parts = Split(text, '/');
    if (parts.empty() || parts.size() > 3)
        throw std::invalid_argument("resonance takes HZ[/DAMPING[/SHARE]], not \"" + text + "\"");
    Resonance r;
    r.hz = Number("resonance", parts[0]);
    if (parts.size() > 1) r.damping = Number("resonance damping", parts[1]);
    if (parts.size() > 2) r.share = Number("resonance share", parts[2]);
    return r;
}

void CheckMachine(const MachineSpec& m) {
    auto fail = [](const std::string& what) { throw std::invalid_argument(what); };
    if (m.inertiaRatio < 0 || m.inertiaRatio > 100) fail("inertia-ratio takes 0..100");
    if (m.coulombNm < 0 || m.coulombNm > 2) fail("coulomb-friction takes 0..2 N m");
    if (m.viscousNmsPerRad < 0 || m.viscousNmsPerRad > 0.1) fail("viscous-friction takes 0..0.1 N m s/rad");
    if (static_cast<int>(m.resonances.size()) > kMaxResonances) fail("at most 3 resonances");
    if (m.lowHz < 0 || m.lowHz > 100) fail("machine-hz takes 0..100");
    double shares = m.lowHz > 0 ? m.lowShare : 0.0;
    for (const Resonance& r : m.resonances) {
        if (r.hz < 20 || r.hz > 5000) fail("a resonance lies at 20..5000 Hz");
        if (r.damping < 0.001 || r.damping > 1) fail("a resonance's damping takes 0.001..1");
        if (r.share < 0 || r.share > 1) fail("a resonance's share takes 0..1");
        shares += r.share;
    }
    if (shares > 1 + 1e-9) fail("the shares of the swinging parts add up to more than the whole load");
}

MachineSpec MachineOf(const DriveOptions& o) {
    if (o.machine) return *o.machine;
    if (o.machineSeed) return DrawMachine(*o.machineSeed);
    MachineSpec m;
    m.resonances.front().hz = o.resonanceHz;
    m.lowHz = o.machineHz;
    return m;
}

MachineSpec ParseMachine(const std::string& text, const MachineSpec& base) {
    MachineSpec m = base;
    bool resonancesGiven = false, seeded = false, other = false;
    for (const std::string& pair : Split(text, ',')) {
        const auto eq = pair.find('=');
        if (eq == std::string::npos)
            throw std::invalid_argument("a machine is KEY=VALUE pairs separated by commas, not \"" + pair + "\"");
        const std::string key = pair.substr(0, eq), value = pair.substr(eq + 1);
        if (key == "machine-seed") {
            const double seed = Number(key, value);
            if (seed < 0 || seed > 4294967295.0 || seed != std::floor(seed))
                throw std::invalid_argument("machine-seed takes a whole number 0..4294967295");
            m = DrawMachine(static_cast<unsigned>(seed));
            seeded = true;
            continue;
        }
        other = true;
        if (key == "inertia-ratio") {
            m.inertiaRatio = Number(key, value);
        } else if (key == "resonance") {
            if (!resonancesGiven) m.resonances.clear();
            resonancesGiven = true;
            m.resonances.push_back(ParseResonance(value));
        } else if (key == "machine-hz") {
            m.lowHz = Number(key, value);
        } else if (key == "coulomb-friction") {
            m.coulombNm = Number(key, value);
        } else if (key == "viscous-friction") {
            m.viscousNmsPerRad = Number(key, value);
        } else {
            throw std::invalid_argument("unknown machine key \"" + key +
                                        "\" (known: inertia-ratio, resonance, machine-hz, coulomb-friction, "
                                        "viscous-friction, machine-seed)");
        }
    }
    if (seeded && other) throw std::invalid_argument("machine-seed draws the whole machine: give no other key with it");
    CheckMachine(m);
    return m;
}

}  // namespace hx::sim
