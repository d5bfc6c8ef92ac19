#pragma once
// The small dense systems the fits end in (normal equations of three to
// five unknowns): Gaussian elimination with partial pivoting.

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>

namespace hx::tuning {

// a x = b; nullopt when a pivot falls below tiny, which each caller sets
// for the size of its own numbers (a pivot that small is rounding, not data).
template <std::size_t N>
std::optional<std::array<double, N>> SolveDense(std::array<std::array<double, N>, N> a, std::array<double, N> b,
                                                double tiny) {
    for (std::size_t c = 0; c < N; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < N; ++r)
            if (std::abs(a[r][c]) > std::abs(a[p][c])) p = r;
        if (std::abs(a[p][c]) < tiny) return std::nullopt;
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (std::size_t r = c + 1; r < N; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < N; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    std::array<double, N> x{};
    for (std::size_t c = N; c-- > 0;) {
        double s = b[c];
        for (std::size_t k = c + 1; k < N; ++k) s -= a[c][k] * x[k];
        x[c] = s / a[c][c];
    }
    return x;
}

}  // namespace hx::tuning
