#include "tests/spectrum/reference_spectrum.h"

#include <algorithm>
#include <cmath>

namespace mirelo::reference {
namespace {

constexpr double kPi = 3.14159;  // the model's value, not full precision

// A loop "i = 2, 3, ... while i <= bound" over bins; it never reaches past the grid.
int LastBin(double bound) {
    if (!(bound >= 0)) {
        return 0;  // also NaN
    }
    return static_cast<int>(std::min(std::floor(bound), static_cast<double>(kBins)));
}

double C(double V) {
    return 141766 + 12157 * V - 111.046 * V * V + 0.552536 * V * V * V - 0.000970158 * V * V * V * V;
}
double K(double V) { return V > 70 ? (std::sqrt(8.79856 * V - 595.149) - 4.55528) / 4.39928 : 0; }
double B(double u) { return 1 - 5.049 * u + 10.847 * u * u - 10.516 * u * u * u + 3.842 * u * u * u * u; }
double F(double E) { return 2.9e-5 * E + 0.03658; }
double R(double T) { return 1 + 511 / T; }
double S(double T) { return 1036.1 * std::exp(-0.04695 * T) + 202.41; }

}  // namespace

void CalcSpectrumLoops(Module1& s) {
    for (int i = 1; i <= kBins; ++i) {
        s.Spectrum[i] = 0;
    }
    const double cot = 1 / std::tan(s.TargetAngle * kPi / 180);
    double M = 0;
    double g = 0;
    if (s.KvMode != 1) {
        M = (s.KvHigh + s.KvLow) * 0.5;
        g = 1.84 / (s.KvHigh - M);
    }
    const double passes = (s.KvHigh - s.KvLow) * 2 + 1;
    const double lastPass = std::min(passes, 2.0 * kBins + 1);
    for (int j = 1; j <= lastPass; ++j) {
        s.Kv = s.KvLow + (j - 1) * 0.5;
        const double Kv = s.Kv;
        for (int i = 1; i <= kBins; ++i) {
            s.SpecKv[i] = 0;
        }
        const double w = s.KvMode == 1 ? 1.0 : 0.3989 * std::exp(-0.5 * (((Kv - M) * g) * ((Kv - M) * g)));
        const int top = LastBin(2 * Kv);

        for (int i = 2; i <= top; ++i) {
            const double E = 0.5 * i;
            double sum = 0;
            for (double T = E; T <= Kv; T += 0.5) {
                const double d = (Kv * Kv - T * T) / (19.3 * C(Kv));
                sum += std::exp(-s.CoefW[i] * cot * d) * B(E / T) * F(E) * R(T) / S(T);
            }
            s.SpecRaw[i] = sum;
        }
        if (Kv > 70) {
            double P = 0;
            for (int i = 2; i <= top; ++i) {
                P += s.SpecRaw[i];
            }
            const double q = 0.01 * K(Kv) * P;
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

}  // namespace mirelo::reference
