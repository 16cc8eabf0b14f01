#include "spectrum/spectrum.h"

#include "portable_math/portable_math.h"
#include "spectrum/recurrence_exp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

// The model sums, for every bin and tube voltage, up to 300 terms with two exponentials each. This
// implementation gives the same numbers (to rounding) at a fraction of the cost:
//  - everything in a term that does not depend on the voltage, B(E/T)·F(E)·R(T)/S(T), is a table
//    over the 0.5 keV grid (T and E are always multiples of 0.5 keV), built once;
//  - the self-absorption factor exp(x) has an exponent x that is quadratic in the electron-energy
//    step, so from one step to the next it is multiplied by a ratio that itself changes by a
//    constant factor. Starting at the shallow end (T at the tube voltage) and restarting every
//    kRestart steps from values carried by exact ratios from block to block keeps the rounding
//    below 1e-12 (bound below);
//  - the few exponentials per bin (at most six per voltage) are computed for a whole row of bins
//    in vector registers (recurrence_exp.h) instead of one library call per bin;
//  - the filter factors do not depend on the voltage and are computed once per call;
//  - bins advance together, eight at a time, one electron energy at a time, in SSE2 registers or,
//    where the processor has them, AVX2 registers (chosen when the program runs).
// Where the recurrence could disagree with the plain terms (exponentials near overflow, a first term
// already near underflow) a bin is summed term by term in the model's own order.

namespace mirelo {
namespace {

constexpr double kPi = 3.14159;  // the model's value, not full precision

// The recurrence in blocks of kRestart steps. Each bin starts every block from restart values (its
// exponential and step ratio at the block's shallowest depth) that are carried from block to
// block by exact ratios, not by the steps inside the block:
//   E_(b+1) = E_b · P_b,  P_(b+1) = P_b · H,  rho_(b+1) = rho_b · G,
// with P_b = exp(a L (2 M_b − L) / 4D) the ratio of the exponentials L = kRestart steps apart,
// H = exp(−a L² / 2D) and G = exp(−a L / 2D). So a bin needs at most six exponentials per tube
// voltage (h, E_0, rho_0, and G, P_0, H once it runs past one block, two blocks), however long it
// runs, instead of two per block.
//
// Error bound, with u = 2^-53, δ = 3u the bound of every exponential here (recurrence_exp.h) and u
// for every multiply; relative errors of positive factors add (their products are below 1e-25):
//  - b blocks deep: rho_b carries δ + b (δ + u); P_b the same; E_b carries
//    δ + Σ_(b'<b) (err P_b' + u) = δ + b (δ + u) + b (b − 1) / 2 · (δ + u);
//  - k steps into a block the step ratio carries err rho_b + k (δ + u) (the factor h is off by δ
//    at every step, always the same way, plus a rounding), and the exponential
//    err E_b + k · err rho_b + k (k − 1) / 2 · (δ + u) + k u: the relative error grows by at most
//    err rho_b + k (δ + u) + u per step, summed over the k ≤ L − 1 steps since the restart.
//    In units: 3 + 4b + 2b(b − 1) + k (3 + 4b) + 2k(k − 1) + k, with bL + k ≤ 298 (the deepest
//    bin is 2, the shallowest depth 300). RecurrenceBoundUnits below takes the largest over b and k:
//    3787 u for L = 38, reached at b = 6, k = 37; L = 39 would give 3963 u;
//  - a bin's sum has the largest relative error of its terms (they are positive), plus the rounding
//    of adding up to 299 terms in another order than the plain loops (299 u for each sum), of the
//    library exponential of the plain term (u) and of multiplying a term's factors in another order
//    (4 u): under 3787 + 603 = 4390 u = 4.9e-13;
//  - the spectrum divides each bin by the sum of all bins, which carries the same bound, so a
//    normalised bin is off by at most twice that: 9.75e-13 < 1e-12.
// Not in this bound, as for any rearrangement of the plain terms: the rounding of the exponents
// themselves (about u times the exponent), which matters only for exponents of hundreds. The tests
// run the worst case for the step factor (rounded by almost a full unit the same way at every step)
// over the longest runs, and the largest ratios the guard lets through.
constexpr int kRestart = 38;

// The bound above in units of u for blocks of `length` steps (checked when this is compiled).
constexpr int RecurrenceBoundUnits(int length) {
    int worst = 0;
    for (int b = 0; b * length <= 298; ++b) {
        for (int k = 0; k < length && b * length + k <= 298; ++k) {
            const int rho = 3 + 4 * b, start = 3 + 4 * b + 2 * b * (b - 1);
            worst = std::max(worst, start + k * rho + 2 * k * (k - 1) + k);
        }
    }
    return worst;
}
// Per bin at most half of 1e-12 (9007 u) less the sums' and factors' 603 u.
static_assert(RecurrenceBoundUnits(kRestart) + 603 <= 9007 / 2);
static_assert(RecurrenceBoundUnits(kRestart + 1) + 603 > 9007 / 2);

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
double S(double T) { return 1036.1 * portable::Exp(-0.04695 * T) + 202.41; }

// The voltage-free parts of a term, for E = 0.5 i and T = 0.5 m on the grid (1 <= i <= m <= 300).
struct GridTables {
    BinArray f{}, r{}, s{};  // F(E_i), R(T_m), S(T_m)
    // B(E/T)·F(E)·R(T)/S(T), row m holding i = 0..m and then kLanes − 1 zeros: a group of lanes
    // whose first bin has reached depth m reads zeros for the bins past their last depth.
    std::vector<double> g;

    static constexpr int kPad = kLanes - 1;
    static std::size_t Row(int m) {
        const auto n = static_cast<std::size_t>(m);
        return n * (n - 1) / 2 + n * (kPad + 1);
    }

    GridTables() : g(Row(kBins + 1), 0.0) {
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
    auto term = [&](int m) { return portable::Exp(a * d[m]) * B(E / (0.5 * m)) * grid.f[i] * grid.r[m] / grid.s[m]; };
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
// starts at the last bin: the restart values of the current block (e, rho), the block ratio p and
// the factors h, g (of rho from block to block) and bigH (of p).
constexpr int kStateSize = kBins + 1 + kLanes;
struct RecurrenceState {
    std::array<double, kStateSize> a, e, rho, p, h, g, bigH, sum;
    std::int64_t exponentials = 0;  // lanes of exponentials computed, for the benchmark

    // Zeros for every bin a lane up to `top` reaches (a lane past the bins it needs reads them;
    // 0 keeps it finite); the rest is never read. Low voltages clear little.
    explicit RecurrenceState(int top) {
        const auto n = static_cast<std::size_t>(std::min(top + kLanes, kStateSize - 1) + 1);
        for (auto* array : {&a, &e, &rho, &p, &h, &g, &bigH, &sum}) {
            std::fill_n(array->begin(), n, 0.0);
        }
    }
};

// Sums the terms of every bin over the depths top .. i, kLanes bins at a time, in blocks of
// kRestart depths; every block starts from the restart values, which then move on to the next
// block by the exact ratios. A group of bins that ends inside a block runs to its first bin's end.
// Where every exponential decays (Masked false), the bins past their last depth add the zeros of
// the grid's padding and start the block at 0; where some grow, they could overflow there, so
// their lanes are masked instead. Compiled once per instruction set below; the arithmetic is the
// same (multiplies and adds, never fused), so both give the same bits.
template <typename V, bool Masked>
[[gnu::always_inline]] inline void SumTerms(const GridTables& grid, const BinArray& d, double D, int top,
                                           RecurrenceState& s) {
    constexpr int kWidth = sizeof(V) / sizeof(double), kCount = kLanes / kWidth;
    V laneOffset;
    for (int k = 0; k < kWidth; ++k) {
        laneOffset[k] = k;
    }
    // The exponents are a times these (a multiply rather than a division per lane): x(top − 1) −
    // x(top) for rho, x(top − L) − x(top) for p, and the changes of rho from step to step (h) and
    // from block to block (g), and of p (bigH).
    const double stepTop = 0.25 * (2 * top - 1) / D;
    const double blockTop = 0.25 * kRestart * (2 * top - kRestart) / D;
    const double stepChange = -0.5 / D;
    const double blockStepChange = -0.5 * kRestart / D;
    const double blockChange = -0.5 * kRestart * kRestart / D;
    for (int i = 2; i <= top; i += kWidth) {
        V a, h, e, rho;
        LoadVector(a, &s.a[i]);
        recurrence::ExpInto(h, a * stepChange);
        recurrence::ExpInto(rho, a * stepTop);
        if (d[top] == 0) {  // a voltage on the grid: the first term's exponential is exactly 1
            e = V{} + 1.0;
        } else {
            recurrence::ExpInto(e, a * d[top]);
            s.exponentials += kWidth;
        }
        StoreVector(&s.h[i], h);
        StoreVector(&s.e[i], e);
        StoreVector(&s.rho[i], rho);
        s.exponentials += 2 * kWidth;
    }
    for (int i = 2; i <= top - kRestart; i += kWidth) {  // the bins that reach a second block
        V a, g, p;
        LoadVector(a, &s.a[i]);
        recurrence::ExpInto(g, a * blockStepChange);
        recurrence::ExpInto(p, a * blockTop);
        StoreVector(&s.g[i], g);
        StoreVector(&s.p[i], p);
        s.exponentials += 2 * kWidth;
    }
    for (int i = 2; i <= top - 2 * kRestart; i += kWidth) {  // and a third
        V a, bigH;
        LoadVector(a, &s.a[i]);
        recurrence::ExpInto(bigH, a * blockChange);
        StoreVector(&s.bigH[i], bigH);
        s.exponentials += kWidth;
    }
    for (int mHigh = top; mHigh >= 2; mHigh -= kRestart) {
        const int mLow = std::max(2, mHigh - kRestart + 1);
        if (mHigh != top) {
            // The restart values one block deeper, for the bins that reach it; bins already done
            // start at 0 (their p may have overflowed on the way).
            for (int i = 2; i <= mHigh; i += kWidth) {
                V e, p, rho, g, bin = laneOffset + i;
                LoadVector(e, &s.e[i]);
                LoadVector(p, &s.p[i]);
                LoadVector(rho, &s.rho[i]);
                LoadVector(g, &s.g[i]);
                e = bin <= mHigh ? e * p : V{};
                StoreVector(&s.e[i], e);
                StoreVector(&s.rho[i], rho * g);
            }
            for (int i = 2; i <= mLow - 1; i += kWidth) {
                V p, bigH;
                LoadVector(p, &s.p[i]);
                LoadVector(bigH, &s.bigH[i]);
                StoreVector(&s.p[i], p * bigH);
            }
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
                    if (!Masked || whole) {
                        sum[v] += e[v] * g;
                    } else {  // lanes past their bin's last depth: not added
                        sum[v] = bin[v] <= m ? sum[v] + e[v] * g : sum[v];
                    }
                    e[v] *= rho[v];
                    rho[v] *= h[v];
                }
                row -= m - 1 + GridTables::kPad + 1;  // row m − 1 holds m − 1 + 1 + kPad entries
            }
            for (int v = 0; v < kCount; ++v) {
                StoreVector(&s.sum[i0 + v * kWidth], sum[v]);
            }
        }
    }
}

void SumTermsBaseline(const GridTables& grid, const BinArray& d, double D, int top, bool masked,
                      RecurrenceState& s) {
    if (masked) {
        SumTerms<Pair, true>(grid, d, D, top, s);
    } else {
        SumTerms<Pair, false>(grid, d, D, top, s);
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void SumTermsAvx2(const GridTables& grid, const BinArray& d, double D, int top,
                                                  bool masked, RecurrenceState& s) {
    if (masked) {
        SumTerms<Quad, true>(grid, d, D, top, s);
    } else {
        SumTerms<Quad, false>(grid, d, D, top, s);
    }
}
#else
void SumTermsAvx2(const GridTables& grid, const BinArray& d, double D, int top, bool masked, RecurrenceState& s) {
    SumTermsBaseline(grid, d, D, top, masked, s);
}
#endif

// Bremsstrahlung with self-absorption for one tube voltage: fills raw(2..top). Returns how many
// exponentials (vector lanes) the recurrence computed.
std::int64_t Bremsstrahlung(const BinArray& coefW, BinArray& raw, double Kv, double cot, int top, VectorPath path) {
    // Voltages are within the grid (0..150 kV), where the Thomson-Whiddington constant is positive.
    const double D = 19.3 * ThomsonWhiddington(Kv);
    const GridTables& grid = Grid();
    // Here top = floor(2 Kv): electron energies T = 0.5 m run over m = i .. top.
    BinArray d{};  // depth at T = 0.5 m, as the plain terms compute it
    for (int m = 2; m <= top; ++m) {
        const double T = 0.5 * m;
        d[m] = (Kv * Kv - T * T) / D;
    }
    RecurrenceState s(top);
    std::array<bool, kBins + 1> plain{};
    bool growing = false;
    // A guard, not a term: its rounding does not matter.
    const double blockChange = 0.5 * kRestart * kRestart / D;
    for (int i = 2; i <= top; ++i) {
        const double ai = -coefW[i] * cot;
        // The factors of a block, H = exp(−a L² / 2D) the largest, must stay finite and normal
        // (0 * inf would be NaN); a bin past that is the model's extremes, summed term by term.
        plain[i] = !std::isfinite(ai) || !(std::fabs(ai) * blockChange <= kGrowthLimit) ||
                   (ai <= 0 ? ai * d[top] < kShallowFloor : ai * d[i] > kGrowthLimit);
        s.a[i] = plain[i] ? 0.0 : ai;  // summed apart; here a harmless constant 1
        growing = growing || s.a[i] > 0;
    }
    if (path == VectorPath::Avx2) {
        SumTermsAvx2(grid, d, D, top, growing, s);
    } else {
        SumTermsBaseline(grid, d, D, top, growing, s);
    }
    for (int i = 2; i <= top; ++i) {
        raw[i] = plain[i] ? TermByTermBin(-coefW[i] * cot, d, i, top, grid) : s.sum[i];
    }
    return s.exponentials;
}

// ComputeSpectrum, adding to `exponentials` what the recurrence computed.
Result<PhotonSpectrum, SpectrumInputError> ComputeCounted(const Tables& tables, const Beam& beam,
                                                          const TubeVoltage& voltage, VectorPath path,
                                                          std::int64_t& exponentials);

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
    return 0.3989 * portable::Exp(-0.5 * (z * z));
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
    std::int64_t exponentials = 0;
    return ComputeCounted(tables, beam, voltage, path, exponentials);
}

std::int64_t RecurrenceExponentials(const Tables& tables, const Beam& beam, const TubeVoltage& voltage,
                                    VectorPath path) {
    std::int64_t exponentials = 0;
    (void)ComputeCounted(tables, beam, voltage, path, exponentials);
    return exponentials;
}

namespace {

Result<PhotonSpectrum, SpectrumInputError> ComputeCounted(const Tables& tables, const Beam& beam,
                                                          const TubeVoltage& voltage, VectorPath path,
                                                          std::int64_t& exponentials) {
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
    // exp(±0) is exactly 1: no filter of a metal (no copper, say) costs no library call.
    auto factor = [](double x) { return x == 0 ? 1.0 : portable::Exp(x); };
    for (int i = 2; i <= highestBin; ++i) {
        al[i] = factor(-(beam.inherentCmAl + beam.alCm) * tables.al[i]);
        cu[i] = factor(-beam.cuCm * tables.cu[i]);
    }
    for (int j = 1; j <= lastPass; ++j) {
        const double Kv = low + (j - 1) * 0.5;
        const double w = voltage.spread == Spread::Uniform ? 1.0 : GaussianWeight(Kv, low, high);
        const double K = KLinePercent(Kv);
        const int top = BinBound(2 * Kv);

        exponentials += Bremsstrahlung(tables.w, raw, Kv, cot, top, path);
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

}  // namespace

}  // namespace mirelo
