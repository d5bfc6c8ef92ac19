#include "core/tuning/ResponseEstimate.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace hx::tuning {

namespace {

// One real transform size, reused for every segment.
class RealTransform {
public:
    explicit RealTransform(int n) : m_n(n), m_cfg(kiss_fftr_alloc(n, 0, nullptr, nullptr), &kiss_fftr_free),
                                    m_in(static_cast<std::size_t>(n)), m_out(static_cast<std::size_t>(n / 2 + 1)) {}
    bool ok() const { return m_cfg != nullptr; }
    // Detrends and windows samples[first, first + n) and transforms them.
    const std::vector<kiss_fft_cpx>& Transform(const std::vector<float>& samples, std::size_t first,
                                               const std::vector<double>& window) {
        // Least-squares line through the segment, taken out so that a drift
        // (a slow move, a position ramp) does not leak into every bin.
        const double n = m_n;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int i = 0; i < m_n; ++i) {
            const double y = samples[first + static_cast<std::size_t>(i)];
            sx += i;
            sy += y;
            sxx += static_cast<double>(i) * i;
            sxy += i * y;
        }
        const double den = n * sxx - sx * sx;
        const double slope = den != 0 ? (n * sxy - sx * sy) / den : 0;
        const double offset = (sy - slope * sx) / n;
        for (int i = 0; i < m_n; ++i)
            m_in[static_cast<std::size_t>(i)] = static_cast<float>(
                (samples[first + static_cast<std::size_t>(i)] - offset - slope * i) * window[static_cast<std::size_t>(i)]);
        kiss_fftr(m_cfg.get(), m_in.data(), m_out.data());
        return m_out;
    }

private:
    int m_n;
    std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> m_cfg;
    std::vector<float> m_in;
    std::vector<kiss_fft_cpx> m_out;
};

Complex ToComplex(const kiss_fft_cpx& c) { return {c.r, c.i}; }

// A line's power over the median of the bins within this many either side.
constexpr std::size_t kLineNeighbourhood = 8;
constexpr double kLineProminence = 4.0;

}  // namespace

bool Clipped(const std::vector<float>& samples) {
    return std::any_of(samples.begin(), samples.end(), [](float v) { return v >= 32767.0f || v <= -32768.0f; });
}

std::vector<float> UnwrapCounter(const std::vector<float>& words) {
    std::vector<float> out(words.size());
    double total = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            double step = std::fmod(static_cast<double>(words[i]) - words[i - 1], 65536.0);
            if (step > 32767.0) step -= 65536.0;
            if (step < -32768.0) step += 65536.0;
            total += step;
        } else {
            total = words[0];
        }
        out[i] = static_cast<float>(total);
    }
    return out;
}

std::vector<float> Differences(const std::vector<float>& s) {
    std::vector<float> out(s.size());
    for (std::size_t i = 1; i < s.size(); ++i) out[i] = s[i] - s[i - 1];
    if (s.size() > 1) out[0] = out[1];
    return out;
}

std::vector<float> Subtract(const std::vector<float>& a, const std::vector<float>& b) {
    std::vector<float> out(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = a[i] - b[i];
    return out;
}

FrequencyResponse EstimateResponse(const EstimateInput& in, const EstimateOptions& options, EstimateReport* report) {
    EstimateReport rep;
    FrequencyResponse out;
    const bool instrumented = !in.instrument.empty();
    // Records that can be used: same length in every channel, nothing clipped.
    std::vector<std::size_t> usable;
    std::size_t shortest = 0;
    for (std::size_t r = 0; r < in.input.size(); ++r) {
        const std::size_t n = in.input[r].size();
        const bool matched = r < in.output.size() && in.output[r].size() == n &&
                             (!instrumented || (r < in.instrument.size() && in.instrument[r].size() == n));
        if (!matched || n < 16) {
            ++rep.recordsTooShort;
            continue;
        }
        if (Clipped(in.input[r]) || Clipped(in.output[r]) || (instrumented && Clipped(in.instrument[r]))) {
            ++rep.recordsClipped;
            continue;
        }
        usable.push_back(r);
        shortest = shortest == 0 ? n : std::min(shortest, n);
    }
    int seg = options.segmentPoints > 0 ? options.segmentPoints : static_cast<int>(shortest / 2);
    seg = std::max(16, seg - seg % 2);  // the real transform wants an even size
    std::vector<std::size_t> kept;
    for (std::size_t r : usable) {
        if (in.input[r].size() >= static_cast<std::size_t>(seg)) kept.push_back(r);
        else ++rep.recordsTooShort;
    }
    rep.segmentPoints = seg;
    const double dt = in.intervalUs * 1e-6;
    rep.resolutionHz = dt > 0 ? 1.0 / (seg * dt) : 0;
    if (kept.empty() || dt <= 0) {
        if (report) *report = rep;
        return out;
    }
    RealTransform fft(seg);
    if (!fft.ok()) {
        if (report) *report = rep;
        return out;
    }
    std::vector<double> window(static_cast<std::size_t>(seg));
    for (int i = 0; i < seg; ++i) window[static_cast<std::size_t>(i)] = 0.5 - 0.5 * std::cos(2 * kPi * i / seg);

    const int bins = seg / 2 + 1;
    const double nyquist = 0.5 / dt;
    const double high = options.highHz > 0 ? std::min(options.highHz, nyquist) : nyquist;
    int first = std::max(1, static_cast<int>(std::ceil(options.lowHz / rep.resolutionHz - 1e-9)));
    int last = std::min(bins - 1, static_cast<int>(std::floor(high / rep.resolutionHz + 1e-9)));
    if (first > last) {
        if (report) *report = rep;
        return out;
    }
    const std::size_t nb = static_cast<std::size_t>(last - first + 1);
    // With an instrument: z is the reference of both spectra.
    std::vector<double> sxx(nb), syy(nb), szz(nb);
    std::vector<Complex> sxy(nb), szx(nb), szy(nb);
    const int step = std::max(1, static_cast<int>(std::lround(seg * (1.0 - std::clamp(options.overlap, 0.0, 0.9)))));
    int segments = 0;
    std::vector<Complex> X(nb), Y(nb);
    std::vector<float> differenced;
    for (std::size_t r : kept) {
        const std::size_t n = in.input[r].size();
        const std::vector<float>* output = &in.output[r];
        if (options.integratingOutput) {
            differenced = Differences(in.output[r]);
            output = &differenced;
        }
        for (std::size_t start = 0; start + static_cast<std::size_t>(seg) <= n; start += static_cast<std::size_t>(step)) {
            const auto& fx = fft.Transform(in.input[r], start, window);
            for (std::size_t k = 0; k < nb; ++k) X[k] = ToComplex(fx[static_cast<std::size_t>(first) + k]);
            const auto& fy = fft.Transform(*output, start, window);
            for (std::size_t k = 0; k < nb; ++k) Y[k] = ToComplex(fy[static_cast<std::size_t>(first) + k]);
            if (instrumented) {
                const auto& fz = fft.Transform(in.instrument[r], start, window);
                for (std::size_t k = 0; k < nb; ++k) {
                    const Complex Z = ToComplex(fz[static_cast<std::size_t>(first) + k]);
                    szz[k] += std::norm(Z);
                    szx[k] += std::conj(Z) * X[k];
                    szy[k] += std::conj(Z) * Y[k];
                }
            }
            for (std::size_t k = 0; k < nb; ++k) {
                sxx[k] += std::norm(X[k]);
                syy[k] += std::norm(Y[k]);
                sxy[k] += std::conj(X[k]) * Y[k];
            }
            ++segments;
        }
    }
    rep.recordsUsed = static_cast<int>(kept.size());
    out.averages = segments;
    out.hz.resize(nb);
    out.value.resize(nb);
    out.coherence.resize(nb);
    for (std::size_t k = 0; k < nb; ++k) {
        out.hz[k] = (first + static_cast<int>(k)) * rep.resolutionHz;
        Complex h;
        double coherence = 0;
        if (instrumented) {
            h = std::abs(szx[k]) > 0 ? szy[k] / szx[k] : Complex{};
            // Both halves must be explained by the instrument.
            const double gx = szz[k] * sxx[k] > 0 ? std::norm(szx[k]) / (szz[k] * sxx[k]) : 0;
            const double gy = szz[k] * syy[k] > 0 ? std::norm(szy[k]) / (szz[k] * syy[k]) : 0;
            coherence = std::min(gx, gy);
        } else {
            h = sxx[k] > 0 ? sxy[k] / sxx[k] : Complex{};
            coherence = sxx[k] * syy[k] > 0 ? std::norm(sxy[k]) / (sxx[k] * syy[k]) : 0;
        }
        if (options.integratingOutput) h /= 1.0 - std::exp(Complex(0, -2 * kPi * out.hz[k] * dt));
        out.value[k] = h * in.scale;
        // One segment alone always reads 1: it says nothing, so it says 0.
        out.coherence[k] = segments > 1 ? std::clamp(coherence, 0.0, 1.0) : 0.0;
    }
    if (options.linesOnly) {
        const std::vector<double>& power = instrumented ? szz : sxx;
        FrequencyResponse lines;
        lines.averages = out.averages;
        for (std::size_t k = 1; k + 1 < nb; ++k) {
            if (!(power[k] > power[k - 1] && power[k] >= power[k + 1]) || power[k - 1] <= 0 || power[k + 1] <= 0) continue;
            // A line stands well above its surroundings; where the moves'
            // harmonics have faded into the instrument's own noise, a local
            // maximum is only noise.
            std::vector<double> around;
            for (std::size_t j = k >= kLineNeighbourhood ? k - kLineNeighbourhood : 0; j < std::min(nb, k + kLineNeighbourhood + 1); ++j)
                around.push_back(power[j]);
            std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
            if (power[k] < kLineProminence * around[around.size() / 2]) continue;
            // The peak of a Hann-windowed line between bins, from a
            // parabola through the log powers of the three bins.
            const double a = std::log(power[k - 1]), b = std::log(power[k]), c = std::log(power[k + 1]);
            const double den = a - 2 * b + c;
            const double shift = den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
            lines.hz.push_back((first + static_cast<double>(k) + shift) * rep.resolutionHz);
            lines.value.push_back(out.value[k]);
            lines.coherence.push_back(out.coherence[k]);
        }
        out = std::move(lines);
    }
    if (report) *report = rep;
    return out;
}

}  // namespace hx::tuning
