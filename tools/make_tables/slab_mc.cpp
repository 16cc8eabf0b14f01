#include "slab_mc.h"

#include <xraylib.h>

#include <algorithm>
#include <cmath>

namespace mirelo::tables {
namespace {

constexpr double kElectronRestKev = 510.99895;
constexpr double kPi = 3.14159265358979323846;
constexpr double kCutoffKev = 1.0;  // photons below this deposit in place
constexpr int kEnergyPoints = 6000;
constexpr double kQMax = 14.0;      // above E/hc at 160 keV (12.9 1/Angstrom)
constexpr int kQPoints = 14001;

// Uniform in (0, 1), built from the top 53 bits so it is the same on every
// standard library (std::uniform_real_distribution is not).
double Uniform(std::mt19937_64& rng) {
    return (static_cast<double>(rng() >> 11) + 0.5) * 0x1.0p-53;
}

double Interp(const std::vector<double>& v, double x) {
    const double clamped = std::clamp(x, 0.0, static_cast<double>(v.size() - 1));
    const auto i = std::min(static_cast<std::size_t>(clamped), v.size() - 2);
    const double f = clamped - static_cast<double>(i);
    return v[i] + f * (v[i + 1] - v[i]);
}

// Klein-Nishina sampling of E'/E (Butcher & Messel's composition-rejection
// scheme), then rejection on S(q)/Z for the binding of the electrons.
double SampleIncoherent(const TransportTables& t, double e, std::mt19937_64& rng,
                        double& cos_theta) {
    const double k = e / kElectronRestKev;
    const double eps0 = 1.0 / (1.0 + 2.0 * k);
    const double eps0sq = eps0 * eps0;
    const double a1 = -std::log(eps0);
    const double a2 = 0.5 * (1.0 - eps0sq);
    for (;;) {
        double eps;
        double epssq;
        if (a1 / (a1 + a2) > Uniform(rng)) {
            eps = std::exp(-a1 * Uniform(rng));
            epssq = eps * eps;
        } else {
            epssq = eps0sq + (1.0 - eps0sq) * Uniform(rng);
            eps = std::sqrt(epssq);
        }
        const double one_minus_cos = (1.0 - eps) / (eps * k);
        const double sin2 = one_minus_cos * (2.0 - one_minus_cos);
        if (1.0 - eps * sin2 / (1.0 + epssq) < Uniform(rng)) continue;
        const double c = 1.0 - one_minus_cos;
        if (t.ScatteringFunction(MomentumTransfer(e, c)) < Uniform(rng)) continue;
        cos_theta = c;
        return eps;
    }
}

// Rayleigh: q^2 from F^2 by table inversion, then rejection on (1+cos^2)/2.
double SampleCoherent(const TransportTables& t, double e, std::mt19937_64& rng) {
    const double kq = e / KEV2ANGST;
    const double q2_max = kq * kq;
    for (;;) {
        const double q2 = t.SampleFormFactorQ2(q2_max, Uniform(rng));
        const double c = std::clamp(1.0 - 2.0 * q2 / q2_max, -1.0, 1.0);
        if (Uniform(rng) * 2.0 <= 1.0 + c * c) return c;
    }
}

// New polar direction cosine after scattering through theta; only the
// cosine to the slab normal matters in a laterally infinite slab.
double Rotate(double w, double cos_theta, std::mt19937_64& rng) {
    const double phi = 2.0 * kPi * Uniform(rng);
    const double sin_theta = std::sqrt(std::max(0.0, 1.0 - cos_theta * cos_theta));
    const double sin_w = std::sqrt(std::max(0.0, 1.0 - w * w));
    return std::clamp(w * cos_theta + sin_w * sin_theta * std::cos(phi), -1.0, 1.0);
}

// One history; returns the energy absorbed in the slab (keV).
double History(const TransportTables& t, double e0, double thickness, std::mt19937_64& rng) {
    double e = e0;
    double z = 0.0;
    double w = 1.0;
    double absorbed = 0.0;
    for (;;) {
        const auto mu = t.At(e);
        const double total = mu.Total();
        z += w * (-std::log(Uniform(rng)) / total);
        if (z < 0.0 || z > thickness) return absorbed;
        const double pick = Uniform(rng) * total;
        if (pick < mu.photo) {
            // Tissue fluorescence (< 4 keV, yields < 15 %) is absorbed
            // within micrometres, so the whole energy stays here.
            return absorbed + e;
        }
        double cos_theta;
        if (pick < mu.photo + mu.incoherent) {
            const double eps = SampleIncoherent(t, e, rng, cos_theta);
            absorbed += e * (1.0 - eps);
            e *= eps;
        } else {
            cos_theta = SampleCoherent(t, e, rng);
        }
        if (e < kCutoffKev) return absorbed + e;
        w = Rotate(w, cos_theta, rng);
    }
}

}  // namespace

TransportTables::TransportTables(const Material& m, double e_max_kev)
    : e_min_(kCutoffKev * 0.5),
      log_e_min_(std::log(e_min_)),
      dlog_e_((std::log(e_max_kev) - std::log(e_min_)) / (kEnergyPoints - 1)),
      dq_(kQMax / (kQPoints - 1)) {
    for (int i = 0; i < kEnergyPoints; ++i) {
        const double e = std::exp(log_e_min_ + dlog_e_ * i);
        log_photo_.push_back(std::log(MuRhoPhoto(m, e) * m.density));
        log_incoh_.push_back(std::log(MuRhoIncoherent(m, e) * m.density));
        log_coh_.push_back(std::log(MuRhoCoherent(m, e) * m.density));
    }
    double cum = 0.0;
    double prev_f2 = 0.0;
    for (int i = 0; i < kQPoints; ++i) {
        const double q = dq_ * i;
        s_norm_.push_back(NormalisedScatteringFunction(m, q));
        const double f2 = FormFactorSquaredPerGram(m, q);
        if (i > 0) cum += 0.5 * (f2 + prev_f2) * (q * q - q2_.back());
        q2_.push_back(q * q);
        f2_cum_.push_back(cum);
        prev_f2 = f2;
    }
}

TransportTables::Coefficients TransportTables::At(double e) const {
    const double x = (std::log(e) - log_e_min_) / dlog_e_;
    return {std::exp(Interp(log_photo_, x)), std::exp(Interp(log_incoh_, x)),
            std::exp(Interp(log_coh_, x))};
}

double TransportTables::ScatteringFunction(double q) const { return Interp(s_norm_, q / dq_); }

double TransportTables::SampleFormFactorQ2(double q2_max, double u) const {
    const double q_max = std::sqrt(q2_max);
    const double c_max = Interp(f2_cum_, q_max / dq_);
    const double target = u * c_max;
    const auto it = std::upper_bound(f2_cum_.begin(), f2_cum_.end(), target);
    const auto i = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(
        it - f2_cum_.begin() - 1, 0, static_cast<std::ptrdiff_t>(f2_cum_.size()) - 2));
    const double span = f2_cum_[i + 1] - f2_cum_[i];
    const double f = span > 0.0 ? (target - f2_cum_[i]) / span : 0.0;
    return std::min(q2_max, q2_[i] + f * (q2_[i + 1] - q2_[i]));
}

std::uint64_t TaskSeed(std::uint64_t base, int energy_bin, int thickness_index) {
    // splitmix64 finaliser: neighbouring tasks get unrelated streams.
    std::uint64_t x = base + 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(
                                 energy_bin * 64 + thickness_index + 1);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

SlabResult AbsorbedFraction(const TransportTables& tables, double e_kev, double thickness_cm,
                            std::uint64_t seed, const RunControl& control) {
    std::mt19937_64 rng(seed);
    double sum = 0.0;
    double sum_sq = 0.0;
    std::int64_t n = 0;
    double rel_sd = 0.0;
    while (n < control.max_histories) {
        for (std::int64_t i = 0; i < control.batch; ++i) {
            const double d = History(tables, e_kev, thickness_cm, rng) / e_kev;
            sum += d;
            sum_sq += d * d;
        }
        n += control.batch;
        const double mean = sum / static_cast<double>(n);
        const double var = std::max(0.0, sum_sq / static_cast<double>(n) - mean * mean);
        rel_sd = mean > 0.0 ? std::sqrt(var / static_cast<double>(n - 1)) / mean : 0.0;
        if (n >= control.min_histories && mean > 0.0 && rel_sd <= control.target_rel_sd) break;
    }
    return {sum / static_cast<double>(n), rel_sd, n};
}

}  // namespace mirelo::tables
