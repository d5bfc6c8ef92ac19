#include "sim/LoopTruth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/util/AtomicFile.h"
#include "sim/VirtualDrive.h"
#include "sim/motor/MotorModel.h"
#include "sim/motor/MotorPart.h"

namespace hx::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kDegrees = 180 / std::numbers::pi;

// The current loop, the plant and the speed detection on the tick, as one
// discrete system from the torque reference i*(k) to the speed feedback
// ω(k): state ξ = [x, θ(k−1), ω(k−1), current-loop integral]. It is the
// motor's own Step without its noise, limits and counts.
class InnerLoop {
public:
    explicit InnerLoop(const MotorModel& motor) {
        const Plant& p = motor.Mechanics();
        const LoopBlocks& l = motor.Loops();
        const double t = p.Tick();
        const int n = p.States();
        m_m = n + 3;
        const int prevAngle = n, prevSpeed = n + 1, integral = n + 2;
        m_phi.assign(static_cast<size_t>(m_m * m_m), 0.0);
        m_gamma.assign(static_cast<size_t>(m_m), 0.0);
        m_out.assign(static_cast<size_t>(m_m), 0.0);
        // ω(k) = (1 − β)·ω(k−1) + (β/T)·(θ(k) − θ(k−1)), θ = θ0 + Σq.
        const double beta = l.speedDetection.a;
        std::vector<double> angle(static_cast<size_t>(m_m), 0.0);
        angle[Plant::kAngle] = 1;
        for (int q = Plant::kFirstMode; q < n; q += 2) angle[static_cast<size_t>(q)] = 1;
        for (int c = 0; c < n; ++c) m_out[c] = beta / t * angle[c];
        m_out[prevAngle] = -beta / t;
        m_out[prevSpeed] = 1 - beta;
        // u = (Kp + Ki·T)·(i* − i) + integral + Kc·Ke·ω(k).
        const double k = l.current.kp + l.current.kiT;
        std::vector<double> u(static_cast<size_t>(m_m), 0.0);
        u[Plant::kCurrent] = -k;
        u[integral] = 1;
        for (int c = 0; c < m_m; ++c) u[c] += l.emfCompensation * m_out[c];
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) Phi(r, c) = p.A(r, c);
            for (int c = 0; c < m_m; ++c) Phi(r, c) += p.B(r, 0) * u[c];
            m_gamma[r] = p.B(r, 0) * k;
        }
        for (int c = 0; c < n; ++c) Phi(prevAngle, c) = angle[c];
        for (int c = 0; c < m_m; ++c) Phi(prevSpeed, c) = m_out[c];
        Phi(integral, integral) = 1;
        Phi(integral, Plant::kCurrent) = -l.current.kiT;
        m_gamma[integral] = l.current.kiT;
        m_tick = t;
    }

    // W·(zI − Φ)⁻¹·Γ at z = e^(jωT), by Gaussian elimination.
    Complex At(double hz) const {
        const int m = m_m;
        const Complex z = std::polar(1.0, kTwoPi * hz * m_tick);
        std::vector<Complex> a(static_cast<size_t>(m * (m + 1)));
        auto at = [&a, m](int r, int c) -> Complex& { return a[static_cast<size_t>(r * (m + 1) + c)]; };
        for (int r = 0; r < m; ++r) {
            for (int c = 0; c < m; ++c) at(r, c) = -m_phi[static_cast<size_t>(r * m + c)];
            at(r, r) += z;
            at(r, m) = m_gamma[static_cast<size_t>(r)];
        }
        for (int col = 0; col < m; ++col) {
            int pivot = col;
            for (int r = col + 1; r < m; ++r)
                if (std::abs(at(r, col)) > std::abs(at(pivot, col))) pivot = r;
            if (pivot != col)
                for (int c = col; c <= m; ++c) std::swap(at(col, c), at(pivot, c));
            const Complex d = at(col, col);
            for (int r = col + 1; r < m; ++r) {
                const Complex f = at(r, col) / d;
                if (f == 0.0) continue;
                for (int c = col; c <= m; ++c) at(r, c) -= f * at(col, c);
            }
        }
        std::vector<Complex> v(static_cast<size_t>(m));
        for (int r = m - 1; r >= 0; --r) {
            Complex s = at(r, m);
            for (int c = r + 1; c < m; ++c) s -= at(r, c) * v[static_cast<size_t>(c)];
            v[static_cast<size_t>(r)] = s / at(r, r);
        }
        Complex y = 0;
        for (int c = 0; c < m; ++c) y += m_out[static_cast<size_t>(c)] * v[static_cast<size_t>(c)];
        return y;
    }

    int Size() const { return m_m; }
    double PhiAt(int r, int c) const { return m_phi[static_cast<size_t>(r * m_m + c)]; }
    double GammaAt(int r) const { return m_gamma[static_cast<size_t>(r)]; }
    double OutAt(int c) const { return m_out[static_cast<size_t>(c)]; }
    int PreviousAngle() const { return m_m - 3; }

private:
    double& Phi(int r, int c) { return m_phi[static_cast<size_t>(r * m_m + c)]; }
    int m_m = 0;
    double m_tick = 0;
    std::vector<double> m_phi, m_gamma, m_out;
};

// The controller's part of the open loop: PI, torque filter, notches.
Complex Controller(const MotorModel& motor, double hz) {
    const LoopBlocks& l = motor.Loops();
    const double t = MotorModel::kTick;
    Complex c = l.speed.Response(hz, t) * l.torqueFilter.Response(hz, t);
    for (int n = 0; n < l.activeNotches; ++n) c *= l.notches[static_cast<size_t>(n)].Response(hz, t);
    return c;
}

// The closed speed loop (reference 0) on the tick, as one matrix over the
// inner loop's state and the controller's (PI integral, torque filter,
// notches), and its spectral radius: below 1 the loop is stable. The
// machine's angle is taken out first (only its change over a tick matters
// to a speed loop, and the angle itself would stand as an eigenvalue 1).
double ClosedLoopRadius(const MotorModel& motor, const InnerLoop& inner) {
    const LoopBlocks& l = motor.Loops();
    const int m = inner.Size(), notches = l.activeNotches;
    const int iv = m, yf = m + 1, size = m + 2 + 2 * notches;
    using Row = std::vector<double>;
    auto unit = [size](int i) {
        Row r(static_cast<size_t>(size), 0.0);
        r[static_cast<size_t>(i)] = 1;
        return r;
    };
    auto add = [](Row a, const Row& b, double f) {
        for (size_t i = 0; i < a.size(); ++i) a[i] += f * b[i];
        return a;
    };
    Row omega(static_cast<size_t>(size), 0.0);
    for (int c = 0; c < m; ++c) omega[static_cast<size_t>(c)] = inner.OutAt(c);
    const Row error = add(Row(static_cast<size_t>(size), 0.0), omega, -1);
    const Row v = add(unit(iv), error, l.speed.kvp + l.speed.ki);
    std::vector<Row> next(static_cast<size_t>(size));
    next[static_cast<size_t>(iv)] = add(unit(iv), error, l.speed.ki);
    const double a = l.torqueFilter.a;
    Row x = add(add(Row(static_cast<size_t>(size), 0.0), unit(yf), 1 - a), v, a);
    next[static_cast<size_t>(yf)] = x;
    for (int j = 0; j < notches; ++j) {
        const Biquad& q = l.notches[static_cast<size_t>(j)];
        const int s1 = m + 2 + 2 * j, s2 = s1 + 1;
        const Row y = add(unit(s1), x, q.b0);
        next[static_cast<size_t>(s1)] = add(add(unit(s2), x, q.b1), y, -q.a1);
        next[static_cast<size_t>(s2)] = add(add(Row(static_cast<size_t>(size), 0.0), x, q.b2), y, -q.a2);
        x = y;
    }
    for (int r = 0; r < m; ++r) {
        Row row(static_cast<size_t>(size), 0.0);
        for (int c = 0; c < m; ++c) row[static_cast<size_t>(c)] = inner.PhiAt(r, c);
        next[static_cast<size_t>(r)] = add(row, x, inner.GammaAt(r));
    }
    // The angle θ0 becomes D = θ0 − θ(k−1); θ(k−1) then feeds only itself.
    const int angle = Plant::kAngle, previous = inner.PreviousAngle();
    std::vector<double> a2(static_cast<size_t>(size * size));
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) a2[static_cast<size_t>(r * size + c)] = next[static_cast<size_t>(r)][static_cast<size_t>(c)];
    // T·A·T⁻¹ with T: D = θ0 − prev; T⁻¹: θ0 = D + prev.
    for (int c = 0; c < size; ++c) a2[static_cast<size_t>(angle * size + c)] -= a2[static_cast<size_t>(previous * size + c)];
    for (int r = 0; r < size; ++r) a2[static_cast<size_t>(r * size + previous)] += a2[static_cast<size_t>(r * size + angle)];
    std::vector<int> keep;
    for (int i = 0; i < size; ++i)
        if (i != previous) keep.push_back(i);
    const int n = static_cast<int>(keep.size());
    std::vector<double> mat(static_cast<size_t>(n * n));
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) mat[static_cast<size_t>(r * n + c)] = a2[static_cast<size_t>(keep[r] * size + keep[c])];
    // ‖A^N‖^(1/N) for N = 2^30, by squaring and rescaling.
    double logNorm = 0;
    const int squarings = 30;
    for (int k = 0; k < squarings; ++k) {
        std::vector<double> sq(static_cast<size_t>(n * n), 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const double aij = mat[static_cast<size_t>(i * n + j)];
                if (aij == 0) continue;
                for (int c = 0; c < n; ++c) sq[static_cast<size_t>(i * n + c)] += aij * mat[static_cast<size_t>(j * n + c)];
            }
        double norm = 0;
        for (double e : sq) norm += e * e;
        norm = std::sqrt(norm);
        if (norm == 0) return 0;
        for (double& e : sq) e /= norm;
        mat.swap(sq);
        logNorm = 2 * logNorm + std::log(norm);
    }
    return std::exp(std::ldexp(logNorm, -squarings));
}

LoopPoint Point(const MotorModel& motor, const InnerLoop& inner, double hz) {
    LoopPoint p;
    p.hz = hz;
    p.plantPerCurrent = motor.Mechanics().Motor().torqueConstant * motor.Mechanics().Admittance(hz);
    p.plantPerTorqueReference = inner.At(hz);
    p.openLoop = Controller(motor, hz) * p.plantPerTorqueReference;
    p.closedLoop = p.openLoop / (1.0 + p.openLoop);
    return p;
}

// The root of f between a and b (f(a), f(b) of opposite signs), on a log
// frequency scale.
template <class F>
double Bisect(F f, double a, double b) {
    double fa = f(a);
    for (int i = 0; i < 40; ++i) {
        const double mid = std::sqrt(a * b);
        const double fm = f(mid);
        if ((fm < 0) == (fa < 0)) {
            a = mid;
            fa = fm;
        } else {
            b = mid;
        }
    }
    return std::sqrt(a * b);
}

std::vector<double> LogGrid(double from, double to, int points) {
    std::vector<double> g(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i) g[i] = from * std::pow(to / from, static_cast<double>(i) / (points - 1));
    return g;
}

// Peaks (or dips) of |Y| on the grid, refined by golden section; a peak
// counts when it stands at least 1 dB above the lowest point on its way to
// the next higher one on either side (or the grid's end), so the slow
// bends of friction and a mode's far skirts are no resonances.
std::vector<double> Extrema(const Plant& plant, const std::vector<double>& grid, bool peaks) {
    auto value = [&plant, peaks](double hz) {
        const double m = std::log(std::abs(plant.Admittance(hz)) * hz);  // the rigid slope taken out
        return peaks ? m : -m;
    };
    std::vector<double> v(grid.size());
    for (size_t i = 0; i < grid.size(); ++i) v[i] = value(grid[i]);
    const double prominence = std::log(std::pow(10.0, 1.0 / 20));
    std::vector<double> found;
    for (size_t i = 1; i + 1 < grid.size(); ++i) {
        if (!(v[i] > v[i - 1] && v[i] >= v[i + 1])) continue;
        double left = v[i], right = v[i];
        for (size_t j = i; j-- > 0 && v[j] <= v[i];) left = std::min(left, v[j]);
        for (size_t j = i + 1; j < v.size() && v[j] <= v[i]; ++j) right = std::min(right, v[j]);
        if (v[i] - std::max(left, right) < prominence) continue;
        double a = grid[i - 1], b = grid[i + 1];
        for (int k = 0; k < 60; ++k) {
            const double m1 = a + (b - a) * 0.382, m2 = a + (b - a) * 0.618;
            if (value(m1) > value(m2))
                b = m2;
            else
                a = m1;
        }
        found.push_back((a + b) / 2);
    }
    return found;
}

}  // namespace

LoopPoint ResponseAt(const MotorModel& motor, double hz) { return Point(motor, InnerLoop(motor), hz); }

LoopTruth TruthOf(const MotorModel& motor, int points) {
    const Plant& plant = motor.Mechanics();
    const InnerLoop inner(motor);
    LoopTruth t;
    t.motorInertia = plant.Motor().inertia;
    t.totalInertia = plant.TotalInertia();
    t.inertiaRatio = InertiaRatioOf(motor.Machine());
    t.coulombNm = motor.Machine().coulombNm;
    t.viscousNmsPerRad = plant.Viscous();
    t.modes = plant.Modes();
    t.settings = motor.Servo();
    t.speedProportionalGain = motor.Loops().speed.kvp;

    const double nyquist = 0.5 / MotorModel::kTick;
    const std::vector<double> fine = LogGrid(1, 0.98 * nyquist, 6000);
    t.resonancesHz = Extrema(plant, fine, true);
    t.antiResonancesHz = Extrema(plant, fine, false);

    // Margins: every crossing on the fine grid, refined, on the phase
    // followed continuously up from 1 Hz (where it lies between −270° and
    // +90°), so a crossing in a mode's lead region is not mistaken for one
    // past −180°.
    auto open = [&](double hz) { return Point(motor, inner, hz).openLoop; };
    std::vector<Complex> l(fine.size());
    std::vector<double> phase(fine.size());
    for (size_t i = 0; i < fine.size(); ++i) {
        l[i] = open(fine[i]);
        double p = std::arg(l[i]) * kDegrees;
        if (i == 0) {
            if (p > 90) p -= 360;
        } else {
            while (p - phase[i - 1] > 180) p -= 360;
            while (p - phase[i - 1] < -180) p += 360;
        }
        phase[i] = p;
    }
    // The unwrapped phase near a grid point.
    auto phaseAt = [&](double hz, double near) {
        double p = std::arg(open(hz)) * kDegrees;
        while (p - near > 180) p -= 360;
        while (p - near < -180) p += 360;
        return p;
    };
    t.phaseMarginDeg = 180;
    bool crossed = false;
    for (size_t i = 1; i < fine.size(); ++i) {
        const bool above0 = std::abs(l[i - 1]) >= 1, above1 = std::abs(l[i]) >= 1;
        if (above0 != above1) {
            const double hz = Bisect([&](double f) { return std::abs(open(f)) - 1; }, fine[i - 1], fine[i]);
            const double margin = 180 + phaseAt(hz, phase[i]);
            if (!crossed && above0) t.crossoverHz = hz;
            if (!crossed || margin < t.phaseMarginDeg) {
                t.phaseMarginDeg = margin;
                t.phaseMarginHz = hz;
            }
            crossed = true;
        }
        // The phase passing −180° (or −540°...).
        const double k0 = std::floor((phase[i - 1] + 180) / 360), k1 = std::floor((phase[i] + 180) / 360);
        if (k0 != k1) {
            const double line = 360 * std::max(k0, k1) - 180;
            const double hz =
                Bisect([&](double f) { return phaseAt(f, phase[i]) - line; }, fine[i - 1], fine[i]);
            const double margin = -20 * std::log10(std::abs(open(hz)));
            if (!t.gainMarginDb || margin < *t.gainMarginDb) {
                t.gainMarginDb = margin;
                t.gainMarginHz = hz;
            }
        }
    }
    t.closedLoopRadius = ClosedLoopRadius(motor, inner);
    t.stable = t.closedLoopRadius < 1;

    for (double hz : LogGrid(1, 5000, std::max(2, points))) t.response.push_back(Point(motor, inner, hz));
    return t;
}

LoopTruth TruthOf(VirtualDrive& drive, int points) {
    // A copy, so the drive answers its line while the truth is worked out.
    const MotorModel motor = drive.WithLock([&] {
        drive.Motor().ReadParametersNow();
        return drive.Motor().Model();
    });
    return TruthOf(motor, points);
}

namespace {

std::string Num(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string Column(const std::vector<LoopPoint>& r, Complex LoopPoint::*field, bool db) {
    std::string s = "[";
    for (size_t i = 0; i < r.size(); ++i) {
        const Complex c = r[i].*field;
        s += (i ? ", " : "") + Num(db ? 20 * std::log10(std::abs(c)) : std::arg(c) * kDegrees);
    }
    return s + "]";
}

std::string List(const std::vector<double>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + Num(v[i]);
    return s + "]";
}

}  // namespace

std::string TruthJson(const std::vector<StationTruth>& drives) {
    std::string j = "{\n  \"format\": \"halvex-drive-sim truth\",\n  \"version\": 1,\n  \"drives\": [";
    for (size_t d = 0; d < drives.size(); ++d) {
        const LoopTruth& t = drives[d].truth;
        const hx::servo::Settings& s = t.settings;
        j += d ? ",\n    {" : "\n    {";
        j += "\n      \"station\": " + std::to_string(drives[d].station) + ",";
        j += "\n      \"driveModel\": \"" + drives[d].driveModel + "\",";
        j += "\n      \"machine\": {\"motorInertia\": " + Num(t.motorInertia) +
             ", \"totalInertia\": " + Num(t.totalInertia) + ", \"inertiaRatio\": " + Num(t.inertiaRatio) +
             ", \"coulombFrictionNm\": " + Num(t.coulombNm) + ", \"viscousFrictionNmsPerRad\": " +
             Num(t.viscousNmsPerRad) + ",\n        \"modes\": [";
        for (size_t m = 0; m < t.modes.size(); ++m)
            j += std::string(m ? ", " : "") + "{\"hz\": " + Num(t.modes[m].hz) + ", \"damping\": " +
                 Num(t.modes[m].damping) + ", \"share\": " + Num(t.modes[m].share) + "}";
        j += "],\n        \"resonancesHz\": " + List(t.resonancesHz) + ", \"antiResonancesHz\": " +
             List(t.antiResonancesHz) + "},";
        j += "\n      \"loop\": {\"inertiaRatioSet\": " + Num(s.inertiaRatio) + ", \"speedLoopHz\": " +
             Num(s.speedLoopHz) + ", \"speedIntegralTimeS\": " + Num(s.integralOn ? s.speedIntegralTime : INFINITY) +
             ", \"positionGainPerS\": " + Num(s.positionGain) + ", \"torqueFilterS\": " + Num(s.torqueFilter) +
             ", \"speedProportionalGainAPerRadS\": " + Num(t.speedProportionalGain) + ",\n        \"notches\": [";
        bool first = true;
        for (const hx::servo::Notch& n : s.notches) {
            if (!n.on) continue;
            j += std::string(first ? "" : ", ") + "{\"hz\": " + Num(n.frequencyHz) + ", \"zeta\": " + Num(n.zeta) +
                 ", \"depth\": " + Num(n.depth) + "}";
            first = false;
        }
        j += "],\n        \"crossoverHz\": " + Num(t.crossoverHz) + ", \"phaseMarginDeg\": " + Num(t.phaseMarginDeg) +
             ", \"phaseMarginHz\": " + Num(t.phaseMarginHz) + ", \"gainMarginDb\": " +
             (t.gainMarginDb ? Num(*t.gainMarginDb) : "null") + ", \"gainMarginHz\": " +
             (t.gainMarginHz ? Num(*t.gainMarginHz) : "null") + ", \"closedLoopRadius\": " + Num(t.closedLoopRadius) + ", \"stable\": " + (t.stable ? "true" : "false") +
             "},";
        std::vector<double> hz;
        for (const LoopPoint& p : t.response) hz.push_back(p.hz);
        j += "\n      \"response\": {\n        \"hz\": " + List(hz);
        const std::pair<const char*, Complex LoopPoint::*> columns[] = {
            {"plantPerCurrent", &LoopPoint::plantPerCurrent},
            {"plantPerTorqueReference", &LoopPoint::plantPerTorqueReference},
            {"openLoop", &LoopPoint::openLoop},
            {"closedLoop", &LoopPoint::closedLoop}};
        for (const auto& [name, field] : columns)
            j += ",\n        \"" + std::string(name) + "\": {\"db\": " + Column(t.response, field, true) +
                 ", \"deg\": " + Column(t.response, field, false) + "}";
        j += "\n      }\n    }";
    }
    return j + "\n  ]\n}\n";
}

bool WriteTruthFile(const std::string& path, const std::vector<VirtualDrive*>& drives, std::string& error) {
    std::vector<StationTruth> all;
    for (VirtualDrive* d : drives) all.push_back({d->Options().station, d->Options().driveModel, TruthOf(*d)});
    hx::AtomicFile file(path);
    if (file.Open() && file.Write(TruthJson(all)) && file.Commit()) return true;
    error = "cannot write the truth to " + path;
    return false;
}

}  // namespace hx::sim
