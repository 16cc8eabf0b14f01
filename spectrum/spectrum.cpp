#include "spectrum/spectrum.h"

#include "spectrum/recurrence_exp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// The model sums, for every bin and tube voltage, up to 300 terms with two exponentials each. This
// implementation gives the same numbers (to rounding) at a fraction of the cost:
//  - everything in a term that does not depend on the voltage, B(E/T)·F(E)·R(T)/S(T), is a table
//    over the 0.5 keV grid (T and E are always multiples of 0.5 keV), built once;
//  - the self-absorption factor exp(x) has an exponent x that is quadratic in the electron-energy
//    step, so from one step to the next it is multiplied by a ratio that itself changes by a
//    constant factor. Starting at the shallow end (T at the tube voltage) and restarting from an
//    exact exponential every kRestart steps keeps the rounding below 1e-12 (bound below);
//  - the restarts compute a whole row of bins' exponentials in vector registers (recurrence_exp.h)
//    instead of one library call per bin;
//  - the filter factors do not depend on the voltage and are computed once per call;
//  - bins advance together, eight at a time, one electron energy at a time, in SSE2 registers or,
//    where the processor has them, AVX2 registers (chosen when the program runs).
// Where the recurrence could disagree with the plain terms (exponentials near overflow, a first term
// already near underflow) a bin is summed term by term in the model's own order.

namespace mirelo {
namespace {

constexpr double kPi = 3.14159;  // the model's value, not full precision

// Exact exponentials every this many steps. Why 40 keeps every bin within 1e-12 of the plain sum
// (u = 2^-53; every exponential here is within δ = 3u, see recurrence_exp.h; every multiply
// rounds by at most u):
//  - after j steps the ratio is rho_0 · h^j, computed with a relative error of at most
//    δ + j (δ + u);
//  - after k steps the exponential is e_0 · rho_0 · ... · rho_(k-1), so its error is at most
//    δ + Σ_(j<k) (δ + j (δ + u) + u) = δ + k (δ + u) + k (k - 1) / 2 · (δ + u),
//    that is 3 + 4k + 2k(k - 1) units: 3123 u = 3.5e-13 at the last step of a block (k = 39);
//  - terms are positive, so a bin's sum has the largest relative error of its terms, plus the
//    rounding of adding up to 299 terms in another order than the plain loops (at most 299 u for
//    each of the two sums) and of multiplying the term's factors in another order (4 u):
//    under 3730 u = 4.2e-13;
//  - the spectrum divides each bin by the sum of all bins, which carries the same bound, so a
//    normalised bin is off by at most twice that: 8.3e-13 < 1e-12.
// With 64 steps the same reckoning gives 9.6e-13 for one bin and 1.9e-12 normalised: too many.
// Not in this bound: the rounding of the exponent itself, which the plain loops do differently
// (up to about 8 u times the exponent); it matters only for exponents of hundreds, which only
// target angles past 90 degrees produce. The tests run the worst case for the step factor: a
// factor rounded by almost a full unit in the same direction at every step.
constexpr int kRestart = 40;

// Bins advanced together in the inner loop of the recurrence: four SSE2 or two AVX2 registers per
// quantity.
constexpr int kLanes = 8;

// Beyond these exponents a bin is summed term by term, so that overflow and underflow happen
// exactly where the plain terms have them.
constexpr double kGrowthLimit = 690;    // exp(690) * 512 is still far below the largest double
constexpr double kShallowFloor = -600;  // a first term below exp(-600) is near the subnormals

// Loop bounds are real numbers; a loop over bins never reaches past the grid, whatever voltage
// arrives here.
int BinBound(double bound) {
    if (!(bound >= 0)) {
        return 0;  // also NaN
    }
    return static_cast<int>(std::min(std::floor(bound), static_cast<double>(kBins)));
}

double B(double u) { return 1 - 5.049 * u + 10.847 * u * u - 10.516 * u * u * u + 3.842 * u * u * u * u; }
double F(double E) { return 2.9e-5 * E + 0.03658; }
double R(double T) { return 1 + 511 / T; }
double S(double T) { return 1036.1 * std::exp(-0.04695 * T) + 202.41; }

// The voltage-free parts of a term, for E = 0.5 i and T = 0.5 m on the grid (1 <= i <= m <= 300).
struct GridTables {
    BinArray f{}, r{}, s{};  // F(E_i), R(T_m), S(T_m)
    std::vector<double> g;   // B(E/T)·F(E)·R(T)/S(T), row m holding i = 0..m

    static std::size_t Row(int m) { return static_cast<std::size_t>(m) * static_cast<std::size_t>(m + 1) / 2; }

    // Padded so that a group of lanes starting at the last bin of the last row reads inside.
    GridTables() : g(Row(kBins + 1) + kLanes, 0.0) {
        for (int n = 1; n <= kBins; ++n) {
            f[n] = F(0.5 * n);
            r[n] = R(0.5 * n);
            s[n] = S(0.5 * n);
        }
        for (int m = 1; m <= kBins; ++m) {
            const double T = 0.5 * m;
            for (int i = 1; i <= m; ++i) {
                const double E = 0.5 * i;
                g[Row(m) + static_cast<std::size_t>(i)] = B(E / T) * F(E) * R(T) / S(T);
            }
        }
    }
};

const GridTables& Grid() {
    static const GridTables tables;
    return tables;
}

// The same sum on the grid, for a bin whose exponents reach overflow or underflow. Terms are the
// plain ones and are added in the plain order, so infinities and zeros fall where they fall there.
double TermByTermBin(double a, const BinArray& d, int i, int top, const GridTables& grid) {
    const double E = 0.5 * i;
    auto term = [&](int m) { return std::exp(a * d[m]) * B(E / (0.5 * m)) * grid.f[i] * grid.r[m] / grid.s[m]; };
    if (a > 0 || !(a <= 0)) {
        // Growing exponentials: the deepest term is the largest. With a finite exponent no term is
        // NaN, so once the deepest term is infinite, so is the sum.
        if (std::isfinite(a)) {
            const double deepest = term(i);
            if (std::isinf(deepest)) {
                return deepest;
            }
        }
        double sum = 0;
        for (int m = i; m <= top; ++m) {
            sum += term(m);
        }
        return sum;
    }
    // Decaying exponentials: deeper than the first term that underflows to 0, every term is 0, and
    // adding zeros to the leading zero changes nothing. Collect the others from the shallow end,
    // then add them in the plain order.
    std::array<double, kBins + 1> terms{};
    int first = top + 1;
    while (first > i) {
        const double t = term(first - 1);
        if (t == 0) {
            break;
        }
        terms[first - 1] = t;
        --first;
    }
    double sum = 0;
    for (int m = first; m <= top; ++m) {
        sum += terms[m];
    }
    return sum;
}

typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));

// Unaligned moves between bins and registers (by reference: the psABI passes wide vectors
// differently with and without AVX).
template <typename V>
[[gnu::always_inline]] inline void LoadVector(V& v, const double* p) {
    std::memcpy(&v, p, sizeof v);
}
template <typename V>
[[gnu::always_inline]] inline void StoreVector(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// The recurrence's state for every bin of one tube voltage, with room for a group of lanes that
// starts at the last bin.
constexpr int kStateSize = kBins + 1 + kLanes;
struct RecurrenceState {
    std::array<double, kStateSize> a{}, e{}, rho{}, h{}, sum{};
};

// Sums the terms of every bin over the depths top .. i, kLanes bins at a time: in each block of
// kRestart depths the bins restart from exact exponentials, then advance by the recurrence. A
// group of bins that ends inside the block runs to its first bin's end, the others' lanes masked.
// Compiled once per instruction set below; the arithmetic is the same (multiplies and adds, never
// fused), so both give the same bits.
template <typename V>
[[gnu::always_inline]] inline void SumTerms(const GridTables& grid, const BinArray& d, double D, int top,
                                           RecurrenceState& s) {
    constexpr int kWidth = sizeof(V) / sizeof(double), kCount = kLanes / kWidth;
    V laneOffset;
    for (int k = 0; k < kWidth; ++k) {
        laneOffset[k] = k;
    }
    for (int i = 2; i <= top; i += kWidth) {
        V a, h;
        LoadVector(a, &s.a[i]);
        recurrence::ExpInto(h, -0.5 * a / D);
        StoreVector(&s.h[i], h);
    }
    for (int mHigh = top; mHigh >= 2; mHigh -= kRestart) {
        const int mLow = std::max(2, mHigh - kRestart + 1);
        const double step = 0.25 * (2 * mHigh - 1);  // x(m - 1) - x(m) = a * step / D at m = mHigh
        for (int i = 2; i <= mHigh; i += kWidth) {
            V a, e, rho;
            LoadVector(a, &s.a[i]);
            recurrence::ExpInto(e, a * d[mHigh]);
            recurrence::ExpInto(rho, a * step / D);
            StoreVector(&s.e[i], e);
            StoreVector(&s.rho[i], rho);
        }
        const double* rowHigh = grid.g.data() + GridTables::Row(mHigh);
        for (int i0 = 2; i0 <= mHigh; i0 += kLanes) {
            V e[kCount], rho[kCount], h[kCount], sum[kCount], bin[kCount];
            for (int v = 0; v < kCount; ++v) {
                LoadVector(e[v], &s.e[i0 + v * kWidth]);
                LoadVector(rho[v], &s.rho[i0 + v * kWidth]);
                LoadVector(h[v], &s.h[i0 + v * kWidth]);
                LoadVector(sum[v], &s.sum[i0 + v * kWidth]);
                bin[v] = laneOffset + (i0 + v * kWidth);
            }
            const double* row = rowHigh + i0;
            const bool whole = i0 + kLanes - 1 <= mLow;
            const int mEnd = std::max(mLow, i0);
            for (int m = mHigh; m >= mEnd; --m) {
                for (int v = 0; v < kCount; ++v) {
                    V g;
                    LoadVector(g, row + v * kWidth);
                    if (whole) {
                        sum[v] += e[v] * g;
                    } else {  // lanes past their bin's last depth read the next row: not added
                        sum[v] = bin[v] <= m ? sum[v] + e[v] * g : sum[v];
                    }
                    e[v] *= rho[v];
                    rho[v] *= h[v];
                }
                row -= m;  // row m - 1 holds m entries
            }
            for (int v = 0; v < kCount; ++v) {
                StoreVector(&s.e[i0 + v * kWidth], e[v]);
                StoreVector(&s.rho[i0 + v * kWidth], rho[v]);
                StoreVector(&s.sum[i0 + v * kWidth], sum[v]);
            }
        }
    }
}

void SumTermsBaseline(const GridTables& grid, const BinArray& d, double D, int top, RecurrenceState& s) {
    SumTerms<Pair>(grid, d, D, top, s);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void SumTermsAvx2(const GridTables& grid, const BinArray& d, double D, int top,
                                                  RecurrenceState& s) {
    SumTerms<Quad>(grid, d, D, top, s);
}
#else
void SumTermsAvx2(const GridTables& grid, const BinArray& d, double D, int top, RecurrenceState& s) {
    SumTerms<Pair>(grid, d, D, top, s);
}
#endif

// Bremsstrahlung with self-absorption for one tube voltage: fills raw(2..top).
void Bremsstrahlung(const BinArray& coefW, BinArray& raw, double Kv, double cot, int top, VectorPath path) {
    // Voltages are within the grid (0..150 kV), where the Thomson-Whiddington constant is positive.
    const double D = 19.3 * ThomsonWhiddington(Kv);
    const GridTables& grid = Grid();
    // Here top = floor(2 Kv): electron energies T = 0.5 m run over m = i .. top.
    BinArray d{};  // depth at T = 0.5 m, as the plain terms compute it
    for (int m = 2; m <= top; ++m) {
        const double T = 0.5 * m;
        d[m] = (Kv * Kv - T * T) / D;
    }
    RecurrenceState s;
    std::array<bool, kBins + 1> plain{};
    const double halfInverseD = 0.5 / D;  // a guard, not a term: its rounding does not matter
    for (int i = 2; i <= top; ++i) {
        const double ai = -coefW[i] * cot;
        // The factor h by which the step ratio changes must stay finite (0 * inf would be NaN).
        plain[i] = !std::isfinite(ai) || !(std::fabs(ai) * halfInverseD <= kGrowthLimit) ||
                   (ai <= 0 ? ai * d[top] < kShallowFloor : ai * d[i] > kGrowthLimit);
        s.a[i] = plain[i] ? 0.0 : ai;  // summed apart; here a harmless constant 1
    }
    if (path == VectorPath::Avx2) {
        SumTermsAvx2(grid, d, D, top, s);
    } else {
        SumTermsBaseline(grid, d, D, top, s);
    }
    for (int i = 2; i <= top; ++i) {
        raw[i] = plain[i] ? TermByTermBin(-coefW[i] * cot, d, i, top, grid) : s.sum[i];
    }
}

}  // namespace

double ThomsonWhiddington(double V) {
    return 141766 + 12157 * V - 111.046 * V * V + 0.552536 * V * V * V - 0.000970158 * V * V * V * V;
}

double KLinePercent(double V) {
    if (!(V > 70)) {
        return 0;
    }
    return (std::sqrt(8.79856 * V - 595.149) - 4.55528) / 4.39928;
}

double GaussianWeight(double V, double low, double high) {
    const double M = (high + low) * 0.5;
    const double g = 1.84 / (high - M);
    const double z = (V - M) * g;
    return 0.3989 * std::exp(-0.5 * (z * z));
}

bool HasPhotons(const BinArray& fluence) {
    for (int i = 1; i <= kBins; ++i) {
        if (fluence[i] > 0 && std::isfinite(fluence[i])) {
            return true;
        }
    }
    return false;
}


int LastBin(double kv) { return BinBound(2 * kv); }

bool Supports(VectorPath path) {
#if defined(__x86_64__)
    if (path == VectorPath::Avx2) {
        static const bool avx2 = __builtin_cpu_supports("avx2");
        return avx2;
    }
    return true;
#else
    return path == VectorPath::Sse2;
#endif
}

VectorPath WidestVectorPath() { return Supports(VectorPath::Avx2) ? VectorPath::Avx2 : VectorPath::Sse2; }

Result<PhotonSpectrum, SpectrumInputError> ComputeSpectrum(const Tables& tables, const Beam& beam,
                                                           const TubeVoltage& voltage) {
    return ComputeSpectrum(tables, beam, voltage, WidestVectorPath());
}

Result<PhotonSpectrum, SpectrumInputError> ComputeSpectrum(const Tables& tables, const Beam& beam,
                                                           const TubeVoltage& voltage, VectorPath path) {
    if (!Supports(path)) {
        path = VectorPath::Sse2;
    }
    const double cot = 1 / std::tan(beam.targetAngleDeg * kPi / 180);
    if (!std::isfinite(cot) || cot == 0) {  // also for a tangent of 0 (cot infinite)
        return Failure{SpectrumInputError::TargetAngle};
    }
    const double low = voltage.lowKv, high = voltage.highKv;
    if (!(low >= 0 && low <= high && high <= kMaxTubeVoltageKv)) {  // also NaN
        return Failure{SpectrumInputError::TubeVoltage};
    }
    PhotonSpectrum out;
    out.highKv = high;
    BinArray& spectrum = out.fluence;
    BinArray raw{};  // one voltage's bremsstrahlung and K lines; bins past its top keep older values
    const double passes = (high - low) * 2 + 1;
    // Voltages past the grid add nothing, so the number of passes is bounded by the grid too.
    const double lastPass = std::min(passes, 2.0 * kBins + 1);
    // The filters do not depend on the voltage.
    // Only the bins the highest voltage reaches take them.
    BinArray al{}, cu{};
    const int highestBin = BinBound(2 * high);
    for (int i = 2; i <= highestBin; ++i) {
        al[i] = std::exp(-(beam.inherentCmAl + beam.alCm) * tables.al[i]);
        cu[i] = std::exp(-beam.cuCm * tables.cu[i]);
    }
    for (int j = 1; j <= lastPass; ++j) {
        const double Kv = low + (j - 1) * 0.5;
        const double w = voltage.spread == Spread::Uniform ? 1.0 : GaussianWeight(Kv, low, high);
        const double K = KLinePercent(Kv);
        const int top = BinBound(2 * Kv);

        Bremsstrahlung(tables.w, raw, Kv, cot, top, path);
        if (Kv > 70) {
            double P = 0;
            for (int i = 2; i <= top; ++i) {
                P += raw[i];
            }
            const double q = 0.01 * K * P;
            raw[119] += 0.5048 * q;
            raw[116] += 0.2908 * q;
            raw[134] += 0.162 * q;
            raw[138] += 0.0424 * q;
        }
        for (int i = 2; i <= top; ++i) {
            // In the plain order: with subnormal terms, another order rounds differently.
            spectrum[i] = spectrum[i] + raw[i] * al[i] * cu[i] / (0.5 * i) * w;
        }
    }

    const int top = BinBound(2 * high);
    double sigma = 0;
    for (int i = 2; i <= top; ++i) {
        sigma += spectrum[i];
    }
    if (sigma == 0 || !std::isfinite(sigma)) {
        // Everything underflowed or overflowed: there is no spectrum to normalise, and no
        // NaN or infinity may be left behind.
        spectrum.fill(0);
        return out;
    }
    for (int i = 2; i <= top; ++i) {
        spectrum[i] = spectrum[i] / sigma;
        if (spectrum[i] < 1e-10) {
            spectrum[i] = 0;
        }
    }
    return out;
}

}  // namespace mirelo
