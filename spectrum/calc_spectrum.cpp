#include "spectrum/calc_spectrum.h"

#include <algorithm>
#include <cmath>

namespace mirelo {
namespace {

constexpr double kPi = 3.14159;  // the model's value, not full precision

// Loop bounds are real numbers; a loop over bins never reaches past the grid, whatever voltage
// arrives here.
int LastBin(double bound) {
    if (!(bound >= 0)) {
        return 0;  // also NaN
    }
    return static_cast<int>(std::min(std::floor(bound), static_cast<double>(kBins)));
}

double B(double u) { return 1 - 5.049 * u + 10.847 * u * u - 10.516 * u * u * u + 3.842 * u * u * u * u; }
double F(double E) { return 2.9e-5 * E + 0.03658; }
double R(double T) { return 1 + 511 / T; }
double S(double T) { return 1036.1 * std::exp(-0.04695 * T) + 202.41; }

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

void CalcSpectrum(Module1& s) {
    for (int i = 1; i <= kBins; ++i) {
        s.Spectrum[i] = 0;
    }
    const double cot = 1 / std::tan(s.TargetAngle * kPi / 180);
    const double passes = (s.KvHigh - s.KvLow) * 2 + 1;
    // Voltages past the grid add nothing, so the number of passes is bounded by the grid too.
    const double lastPass = std::min(passes, 2.0 * kBins + 1);
    for (int j = 1; j <= lastPass; ++j) {
        s.Kv = s.KvLow + (j - 1) * 0.5;
        const double Kv = s.Kv;
        for (int i = 1; i <= kBins; ++i) {
            s.SpecKv[i] = 0;
        }
        const double w = s.KvMode == 1 ? 1.0 : GaussianWeight(Kv, s.KvLow, s.KvHigh);
        const double C = ThomsonWhiddington(Kv);
        const double K = KLinePercent(Kv);
        const int top = LastBin(2 * Kv);

        for (int i = 2; i <= top; ++i) {
            const double E = 0.5 * i;
            double sum = 0;
            for (double T = E; T <= Kv; T += 0.5) {  // exact: every T is a multiple of 0.5
                const double d = (Kv * Kv - T * T) / (19.3 * C);
                sum += std::exp(-s.CoefW[i] * cot * d) * B(E / T) * F(E) * R(T) / S(T);
            }
            s.SpecRaw[i] = sum;
        }
        if (Kv > 70) {
            double P = 0;
            for (int i = 2; i <= top; ++i) {
                P += s.SpecRaw[i];
            }
            const double q = 0.01 * K * P;
            s.SpecRaw[119] += 0.5048 * q;
            s.SpecRaw[116] += 0.2908 * q;
            s.SpecRaw[134] += 0.162 * q;
            s.SpecRaw[138] += 0.0424 * q;
        }
        for (int i = 2; i <= top; ++i) {
            s.SpecKv[i] = s.SpecRaw[i] * std::exp(-(s.InherentFilter + s.FilterAl) * s.CoefAl[i]) *
                          std::exp(-s.FilterCu * s.CoefCu[i]) / (0.5 * i) * w;
            s.Spectrum[i] = s.Spectrum[i] + s.SpecKv[i];
        }
    }

    const int top = LastBin(2 * s.KvHigh);
    double sigma = 0;
    for (int i = 2; i <= top; ++i) {
        sigma += s.Spectrum[i];
    }
    if (sigma == 0 || !std::isfinite(sigma)) {
        // Everything underflowed or overflowed: there is no spectrum to normalise, and no
        // NaN or infinity may be left behind.
        for (int i = 1; i <= kBins; ++i) {
            s.Spectrum[i] = 0;
        }
        return;
    }
    for (int i = 2; i <= top; ++i) {
        s.Spectrum[i] = s.Spectrum[i] / sigma;
        if (s.Spectrum[i] < 1e-10) {
            s.Spectrum[i] = 0;
        }
    }
}

void CalcSpectrum() {
    CalcSpectrum(SharedState());
    EnableCommand9();
}

}  // namespace mirelo
