#include "spectrum/spectrum.h"

#include <algorithm>
#include <cmath>
#include <vector>

// The model sums, for every bin and tube voltage, up to 300 terms with two exponentials each. This
// implementation gives the same numbers (to rounding) at a fraction of the cost:
//  - everything in a term that does not depend on the voltage, B(E/T)·F(E)·R(T)/S(T), is a table
//    over the 0.5 keV grid (T and E are always multiples of 0.5 keV), built once;
//  - the self-absorption factor exp(x) has an exponent x that is quadratic in the electron-energy
//    step, so from one step to the next it is multiplied by a ratio that itself changes by a
//    constant factor. Starting at the shallow end (T at the tube voltage) and restarting from an
//    exact exponential every few steps keeps the rounding far below 1e-12;
//  - the filter factors do not depend on the voltage and are computed once per call;
//  - all bins advance together, one electron energy at a time, so the inner loop is plain
//    arithmetic on arrays that the compiler vectorises.
// Where the recurrence could disagree with the plain terms (exponentials near overflow, a first term
// already near underflow) a bin is summed term by term in the model's own order.

namespace mirelo {
namespace {

constexpr double kPi = 3.14159;  // the model's value, not full precision

// Exact exponentials every this many steps; between them the error of the recurrence grows like
// the square of the step count (32 steps: below 1e-13 relative).
constexpr int kRestart = 32;

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

// Bins advanced together in the inner loop of the recurrence.
constexpr int kLanes = 4;

// Sums the terms of bins i0 .. i0 + kLanes - 1 over the depths mHigh down to mLow (all of them at
// least i0 + kLanes - 1) and leaves e, rho ready for the next depth.
void AdvanceLanes(const GridTables& grid, int mHigh, int mLow, int i0, BinArray& e, BinArray& rho,
                  const BinArray& h, BinArray& sum) {
    double le[kLanes], lr[kLanes], lh[kLanes], ls[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        le[k] = e[i0 + k];
        lr[k] = rho[i0 + k];
        lh[k] = h[i0 + k];
        ls[k] = sum[i0 + k];
    }
    for (int m = mHigh; m >= mLow; --m) {
        const double* g = grid.g.data() + GridTables::Row(m) + i0;
        for (int k = 0; k < kLanes; ++k) {
            ls[k] += le[k] * g[k];
            le[k] *= lr[k];
            lr[k] *= lh[k];
        }
    }
    for (int k = 0; k < kLanes; ++k) {
        e[i0 + k] = le[k];
        rho[i0 + k] = lr[k];
        sum[i0 + k] = ls[k];
    }
}

// Bremsstrahlung with self-absorption for one tube voltage: fills raw(2..top).
void Bremsstrahlung(const BinArray& coefW, BinArray& raw, double Kv, double cot, int top) {
    // Voltages are within the grid (0..150 kV), where the Thomson-Whiddington constant is positive.
    const double D = 19.3 * ThomsonWhiddington(Kv);
    const GridTables& grid = Grid();
    // Here top = floor(2 Kv): electron energies T = 0.5 m run over m = i .. top.
    BinArray d{};  // depth at T = 0.5 m, as the plain terms compute it
    for (int m = 2; m <= top; ++m) {
        const double T = 0.5 * m;
        d[m] = (Kv * Kv - T * T) / D;
    }
    BinArray a{}, e{}, rho{}, h{}, sum{};
    std::array<bool, kBins + 1> plain{}, dead{};
    for (int i = 2; i <= top; ++i) {
        const double ai = -coefW[i] * cot;
        // The factor h by which the step ratio changes must stay finite (0 * inf would be NaN).
        plain[i] = !std::isfinite(ai) || !(std::fabs(0.5 * ai / D) <= kGrowthLimit) ||
                   (ai <= 0 ? ai * d[top] < kShallowFloor : ai * d[i] > kGrowthLimit);
        a[i] = plain[i] ? 0.0 : ai;  // summed apart; here a harmless constant 1
        h[i] = std::exp(-0.5 * a[i] / D);
    }
    for (int mHigh = top; mHigh >= 2; mHigh -= kRestart) {
        const int mLow = std::max(2, mHigh - kRestart + 1);
        const double step = 0.25 * (2 * mHigh - 1);  // x(m - 1) - x(m) = a * step / D at m = mHigh
        for (int i = 2; i <= mHigh; ++i) {
            if (dead[i]) {
                continue;
            }
            e[i] = std::exp(a[i] * d[mHigh]);
            rho[i] = std::exp(a[i] * step / D);
            if (e[i] == 0 && a[i] <= 0) {  // underflowed: every deeper term is 0 too
                dead[i] = true;
                rho[i] = 0;
                h[i] = 0;
            }
        }
        // Bins that take a term at every depth of the block, a few at a time so that their state
        // stays in registers.
        int i0 = 2;
        for (; i0 + kLanes - 1 <= mLow; i0 += kLanes) {
            AdvanceLanes(grid, mHigh, mLow, i0, e, rho, h, sum);
        }
        // The rest, and the bins whose last term falls inside the block, row by row.
        for (int m = mHigh; m >= mLow; --m) {
            const double* g = grid.g.data() + GridTables::Row(m);
            for (int i = i0; i <= m; ++i) {
                sum[i] += e[i] * g[i];
                e[i] *= rho[i];
                rho[i] *= h[i];
            }
        }
    }
    for (int i = 2; i <= top; ++i) {
        raw[i] = plain[i] ? TermByTermBin(-coefW[i] * cot, d, i, top, grid) : sum[i];
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

Result<PhotonSpectrum, SpectrumInputError> ComputeSpectrum(const Tables& tables, const Beam& beam,
                                                           const TubeVoltage& voltage) {
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
    BinArray al{}, cu{};
    for (int i = 2; i <= kBins; ++i) {
        al[i] = std::exp(-(beam.inherentCmAl + beam.alCm) * tables.al[i]);
        cu[i] = std::exp(-beam.cuCm * tables.cu[i]);
    }
    for (int j = 1; j <= lastPass; ++j) {
        const double Kv = low + (j - 1) * 0.5;
        const double w = voltage.spread == Spread::Uniform ? 1.0 : GaussianWeight(Kv, low, high);
        const double K = KLinePercent(Kv);
        const int top = BinBound(2 * Kv);

        Bremsstrahlung(tables.w, raw, Kv, cot, top);
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
