#include "quality/quality.h"

#include "portable_math/portable_math.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace mirelo {
namespace {

// Kerma weights and aluminium coefficients of the bins a spectrum fills.
struct KermaCurve {
    BinArray weight{};  // fluence * E * (mu_en/rho)_air
    BinArray mu{};      // aluminium, per cm
    int last = 0;
};

// Newton steps stop below this (cm): the step after it would be smaller than its square, so the
// layer is far more accurate than the 1e-6 mm asked for.
constexpr double kStepCm = 1e-9;
constexpr int kMaxSteps = 200;

// The aluminium thickness (cm) at which the kerma has fallen to `fraction` of K(0), starting at `from`
// (where it has not yet fallen that far). ln K(x) is convex in x (a log-sum of exponentials with
// weights >= 0), so Newton's method on it approaches the root from below without overshooting; for a
// single energy it lands on ln 2 / mu in one step.
std::optional<double> LayerCm(const KermaCurve& c, double k0, double fraction, double from) {
    const double lnTarget = portable::Log(k0 * fraction);
    double x = from;
    for (int n = 0; n < kMaxSteps; ++n) {
        double s0 = 0, s1 = 0;
        for (int i = 1; i <= c.last; ++i) {
            const double t = c.weight[i] * portable::Exp(-c.mu[i] * x);
            s0 += t;
            s1 += t * c.mu[i];
        }
        if (!(s0 > 0) || !std::isfinite(s0) || !std::isfinite(s1)) {
            return std::nullopt;
        }
        const double g = portable::Log(s0) - lnTarget;
        const double slope = s1 / s0;  // -d ln K / dx, the kerma-weighted attenuation coefficient
        if (g > 0 && !(slope > 0)) {
            return std::nullopt;  // the kerma no longer falls: it never reaches the target
        }
        const double step = g / slope;
        if (!std::isfinite(step)) {
            return std::nullopt;
        }
        x += step;
        if (std::fabs(step) <= kStepCm) {
            return x > 0 && std::isfinite(x) ? std::optional<double>(x) : std::nullopt;
        }
    }
    return std::nullopt;
}

// The energy (keV) at which aluminium's coefficient equals mu, searched from the top of the table
// down, log-log between neighbouring bins (attenuation falls roughly as a power of the energy).
std::optional<double> EnergyOfMu(const BinArray& al, double mu) {
    for (int i = kBins - 1; i >= 1; --i) {
        const double hi = al[i], lo = al[i + 1];  // at E_i and at E_i + 0.5 keV
        if (!(hi >= mu && mu >= lo)) {
            continue;
        }
        const double e0 = 0.5 * i, e1 = 0.5 * (i + 1);
        if (hi == lo) {
            return e0;
        }
        if (lo > 0) {
            return e0 * portable::Pow(e1 / e0, portable::Log(mu / hi) / portable::Log(lo / hi));
        }
        return e0 + (e1 - e0) * (hi - mu) / (hi - lo);  // a column that reaches 0: linear
    }
    return std::nullopt;
}

}  // namespace

Result<BeamQuality, QualityError> ComputeBeamQuality(const Tables& tables, const PhotonSpectrum& spectrum) {
    KermaCurve c;
    c.last = LastBin(spectrum.highKv);
    double k0 = 0, photons = 0, energy = 0;
    for (int i = 1; i <= c.last; ++i) {
        const double e = 0.5 * i, phi = spectrum.fluence[i];
        c.weight[i] = phi * e * tables.air[i];
        c.mu[i] = tables.al[i];
        k0 += c.weight[i];
        photons += phi;
        energy += phi * e;
    }
    if (!(k0 > 0) || !std::isfinite(k0) || !(photons > 0) || !std::isfinite(energy)) {
        return Failure{QualityError::NoPhotons};
    }
    const auto half = LayerCm(c, k0, 0.5, 0);
    if (!half) {
        return Failure{QualityError::NoHalfValueLayer};
    }
    const auto quarter = LayerCm(c, k0, 0.25, *half);
    if (!quarter || !(*quarter > *half)) {
        return Failure{QualityError::NoHalfValueLayer};
    }
    BeamQuality q;
    q.hvl1MmAl = 10 * *half;
    q.hvl2MmAl = 10 * (*quarter - *half);
    q.homogeneity = q.hvl1MmAl / q.hvl2MmAl;
    q.meanKeV = energy / photons;
    const auto effective = EnergyOfMu(tables.al, portable::Log(2.0) / *half);
    if (!effective) {
        return Failure{QualityError::NoEffectiveEnergy};
    }
    q.effectiveKeV = *effective;
    if (!std::isfinite(q.homogeneity) || !std::isfinite(q.meanKeV) || !std::isfinite(q.effectiveKeV)) {
        return Failure{QualityError::NoHalfValueLayer};
    }
    return q;
}

Result<InherentFit, FitError> FitInherentFiltration(const Tables& tables, const HvlMeasurement& m) {
    if (!(m.kv > 0)) {
        return Failure{FitError{FitError::Kind::TubeVoltage}};
    }
    // The quality at inherent filtration t (mm), or why there is none.
    const auto qualityAt = [&](double t) -> Result<BeamQuality, FitError> {
        const auto spectrum =
            ComputeSpectrum(tables, Beam::FromMm(m.targetAngleDeg, t, m.alMm, m.cuMm), TubeVoltage::Fixed(m.kv));
        if (!spectrum) {
            return Failure{FitError{spectrum.error() == SpectrumInputError::TargetAngle ? FitError::Kind::TargetAngle
                                                                                       : FitError::Kind::TubeVoltage}};
        }
        auto q = ComputeBeamQuality(tables, *spectrum);
        if (!q) {
            return Failure{FitError{FitError::Kind::NoBeamQuality}};
        }
        return *q;
    };

    double a = kMinInherentMmAl, b = kMaxInherentMmAl;
    auto qa = qualityAt(a);
    if (!qa) {
        return Failure{qa.error()};
    }
    auto qb = qualityAt(b);
    if (!qb && qb.error().kind == FitError::Kind::NoBeamQuality) {
        // At a few kV the thick end absorbs every photon: search the filtrations that leave some.
        // Having a quality is monotonic in the filtration (more filter, fewer photons), so bisect.
        double ok = a, none = b;
        Result<BeamQuality, FitError> qok = *qa;
        for (int n = 0; n < 60 && none - ok > 1e-9; ++n) {
            const double mid = 0.5 * (ok + none);
            auto qmid = qualityAt(mid);
            if (qmid) {
                ok = mid;
                qok = std::move(qmid);
            } else if (qmid.error().kind == FitError::Kind::NoBeamQuality) {
                none = mid;
            } else {
                return Failure{qmid.error()};
            }
        }
        b = ok;
        qb = std::move(qok);
    }
    if (!qb) {
        return Failure{qb.error()};
    }
    const double target = m.hvl1MmAl;
    // More aluminium in front leaves a harder beam, so the first HVL rises with the filtration and the
    // two ends bound what a fit can reach.
    if (!(target >= qa->hvl1MmAl && target <= qb->hvl1MmAl)) {
        return Failure{FitError{FitError::Kind::Unreachable, qa->hvl1MmAl, qb->hvl1MmAl, a, b}};
    }
    double fa = qa->hvl1MmAl - target, fb = qb->hvl1MmAl - target;
    InherentFit best{a, *qa};
    double bestMiss = std::fabs(fa);
    if (std::fabs(fb) < bestMiss) {
        best = {b, *qb};
        bestMiss = std::fabs(fb);
    }
    // Regula falsi with the Illinois modification: the HVL is nearly linear in the filtration, so a
    // few spectra suffice, and the bracket keeps every step inside the range.
    for (int n = 0; n < 100 && bestMiss > 1e-9 && std::fabs(b - a) > 1e-7; ++n) {
        const double c = b - fb * (b - a) / (fb - fa);
        auto qc = qualityAt(c);
        if (!qc) {
            return Failure{qc.error()};
        }
        const double fc = qc->hvl1MmAl - target;
        if (std::fabs(fc) < bestMiss) {
            best = {c, *qc};
            bestMiss = std::fabs(fc);
        }
        if ((fc < 0) != (fb < 0)) {
            a = b;
            fa = fb;
        } else {
            fa *= 0.5;
        }
        b = c;
        fb = fc;
    }
    return best;
}

Result<FiltrationCurve, CurveError> FitFiltrationCurve(const Tables& tables, std::span<const HvlMeasurement> measurements) {
    FiltrationCurve curve;
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (measurements[j].kv == measurements[i].kv) {
                return Failure{CurveError{i, FitError{FitError::Kind::SameVoltage}}};
            }
        }
        auto fit = FitInherentFiltration(tables, measurements[i]);
        if (!fit) {
            return Failure{CurveError{i, fit.error()}};
        }
        curve.points.push_back({measurements[i], *fit});
    }
    if (curve.points.empty()) {
        return Failure{CurveError{0, FitError{FitError::Kind::Unreachable}}};
    }
    std::sort(curve.points.begin(), curve.points.end(),
              [](const FittedPoint& x, const FittedPoint& y) { return x.measurement.kv < y.measurement.kv; });
    return curve;
}

InherentAt InherentAtKv(const FiltrationCurve& curve, double kv) {
    const auto& p = curve.points;
    const FittedPoint& first = p.front();
    const FittedPoint& last = p.back();
    if (!(kv > first.measurement.kv)) {
        return {first.fit.inherentMmAl, std::isfinite(kv) ? first.measurement.kv - kv : 0};
    }
    if (kv >= last.measurement.kv) {
        return {last.fit.inherentMmAl, kv - last.measurement.kv};
    }
    std::size_t i = 1;
    while (p[i].measurement.kv < kv) {
        ++i;
    }
    const double x0 = p[i - 1].measurement.kv, x1 = p[i].measurement.kv;
    const double y0 = p[i - 1].fit.inherentMmAl, y1 = p[i].fit.inherentMmAl;
    return {y0 + (y1 - y0) * (kv - x0) / (x1 - x0), 0};
}

}  // namespace mirelo
