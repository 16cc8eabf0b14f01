#include "xsection.h"

#include <xraylib.h>

#include <atomic>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace mirelo::tables {
namespace {

std::atomic<long> g_extrapolations{0};

// Calls an xraylib function and returns nothing when it reports an error.
template <typename F, typename... A>
std::optional<double> Xrl(F f, A... args) {
    xrl_error* err = nullptr;
    const double v = f(args..., &err);
    if (err != nullptr) {
        xrl_error_free(err);
        return std::nullopt;
    }
    return v;
}

// An element cross section that must be positive. Where xraylib refuses the
// energy (it has no data below its grid), extend log-log from the nearest
// energy above that it accepts.
double Positive(double (*f)(int, double, xrl_error**), int z, double e) {
    if (auto v = Xrl(f, z, e); v && *v > 0.0) return *v;
    for (double ev = e * 1.01; ev < 4.0 * e; ev *= 1.01) {
        const auto v1 = Xrl(f, z, ev);
        const auto v2 = Xrl(f, z, ev * 1.02);
        if (v1 && v2 && *v1 > 0.0 && *v2 > 0.0) {
            ++g_extrapolations;
            const double slope = std::log(*v2 / *v1) / std::log(1.02);
            return *v1 * std::pow(e / ev, slope);
        }
    }
    throw std::runtime_error("xraylib has no cross section near " + std::to_string(e) +
                             " keV for Z=" + std::to_string(z));
}

Material FromNist(int index, const char* label) {
    xrl_error* err = nullptr;
    compoundDataNIST* c = GetCompoundDataNISTByIndex(index, &err);
    if (c == nullptr) {
        std::string msg = err != nullptr ? err->message : "unknown";
        xrl_error_free(err);
        throw std::runtime_error(std::string("xraylib NIST compound missing: ") + msg);
    }
    Material m{label, {}, c->density};
    for (int i = 0; i < c->nElements; ++i) m.parts.push_back({c->Elements[i], c->massFractions[i]});
    FreeCompoundDataNIST(c);
    return m;
}

template <typename G>
double Sum(const Material& m, G g) {
    double s = 0.0;
    for (const auto& p : m.parts) s += p.mass_fraction * g(p.z);
    return s;
}

// Atoms per gram of element z in the material, up to Avogadro's number,
// which cancels in every ratio used here.
double AtomsPerGram(const Constituent& p) {
    return p.mass_fraction / AtomicWeight(p.z, nullptr);
}

constexpr double kElectronRestKev = 510.99895;

}  // namespace

Material Tungsten() { return {"W", {{74, 1.0}}, 19.3}; }
Material Aluminium() { return {"Al", {{13, 1.0}}, 2.699}; }
Material Copper() { return {"Cu", {{29, 1.0}}, 8.96}; }
Material SoftTissueIcrp() { return FromNist(NIST_COMPOUND_TISSUE_SOFT_ICRP, "soft tissue (ICRP)"); }
Material DryAir() { return FromNist(NIST_COMPOUND_AIR_DRY_NEAR_SEA_LEVEL, "dry air"); }
Material Water() { return FromNist(NIST_COMPOUND_WATER_LIQUID, "water"); }

long ExtrapolationCount() { return g_extrapolations.load(); }

double MuRhoTotal(const Material& m, double e) {
    return Sum(m, [e](int z) { return Positive(CS_Total, z, e); });
}
double MuRhoPhoto(const Material& m, double e) {
    return Sum(m, [e](int z) { return Positive(CS_Photo, z, e); });
}
double MuRhoIncoherent(const Material& m, double e) {
    return Sum(m, [e](int z) { return Positive(CS_Compt, z, e); });
}
double MuRhoCoherent(const Material& m, double e) {
    return Sum(m, [e](int z) { return Positive(CS_Rayl, z, e); });
}

double MomentumTransfer(double e_kev, double cos_theta) {
    const double s2 = 0.5 * (1.0 - cos_theta);  // sin^2(theta/2)
    return e_kev / KEV2ANGST * std::sqrt(s2 > 0.0 ? s2 : 0.0);
}

double IncoherentTransferFraction(int z, double e) {
    // Simpson's rule over cos(theta); the integrand is smooth, 2000 panels
    // are far below the 0.1 % level.
    const int n = 2000;
    const double k = e / kElectronRestKev;
    double num = 0.0;
    double den = 0.0;
    for (int i = 0; i <= n; ++i) {
        const double c = -1.0 + 2.0 * i / n;
        const double r = 1.0 / (1.0 + k * (1.0 - c));  // k'/k
        const double kn = r * r * (r + 1.0 / r - (1.0 - c * c));
        const double q = MomentumTransfer(e, c);
        const double s = q > 0.0 ? Xrl(SF_Compt, z, q).value_or(0.0) : 0.0;
        const double w = (i == 0 || i == n) ? 1.0 : (i % 2 ? 4.0 : 2.0);
        den += w * kn * s;
        num += w * kn * s * (1.0 - r);
    }
    return den > 0.0 ? num / den : 0.0;
}

double FluorescenceEnergy(int z, int shell) {
    // xraylib numbers the lines of K, L1, L2 and L3 in consecutive blocks.
    int first = 0;
    int last = 0;
    switch (shell) {
        case K_SHELL: first = KL1_LINE; last = KP5_LINE; break;
        case L1_SHELL: first = L1L2_LINE; last = L1P5_LINE; break;
        case L2_SHELL: first = L2L3_LINE; last = L2Q1_LINE; break;
        case L3_SHELL: first = L3M1_LINE; last = L3Q1_LINE; break;
        default: return 0.0;
    }
    const auto yield = Xrl(FluorYield, z, shell);
    if (!yield || *yield <= 0.0) return 0.0;
    double rate_sum = 0.0;
    double energy_sum = 0.0;
    for (int line = first; line >= last; --line) {
        const auto rate = Xrl(RadRate, z, line);
        const auto energy = Xrl(LineEnergy, z, line);
        if (rate && energy && *rate > 0.0 && *energy > 0.0) {
            rate_sum += *rate;
            energy_sum += *rate * *energy;
        }
    }
    return rate_sum > 0.0 ? *yield * energy_sum / rate_sum : 0.0;
}

double MuEnRho(const Material& m, double e) {
    return Sum(m, [e](int z) {
        double photo = Positive(CS_Photo, z, e);
        // Only K and L fluorescence matter; M-shell yields are below 3 %
        // and their lines carry little energy. Cascades after a K vacancy
        // are left out, which underestimates escape by well under 1 % here.
        for (int shell : {K_SHELL, L1_SHELL, L2_SHELL, L3_SHELL}) {
            const double partial = Xrl(CS_Photo_Partial, z, shell, e).value_or(0.0);
            if (partial > 0.0) photo -= partial * FluorescenceEnergy(z, shell) / e;
        }
        return photo + Positive(CS_Compt, z, e) * IncoherentTransferFraction(z, e);
    });
}

double NormalisedScatteringFunction(const Material& m, double q) {
    if (q <= 0.0) return 0.0;
    double s = 0.0;
    double electrons = 0.0;
    for (const auto& p : m.parts) {
        const double n = AtomsPerGram(p);
        s += n * Xrl(SF_Compt, p.z, q).value_or(static_cast<double>(p.z));
        electrons += n * p.z;
    }
    return s / electrons;
}

double FormFactorSquaredPerGram(const Material& m, double q) {
    double f2 = 0.0;
    for (const auto& p : m.parts) {
        const double f = Xrl(FF_Rayl, p.z, q).value_or(0.0);
        f2 += AtomsPerGram(p) * f * f;
    }
    return f2;
}

}  // namespace mirelo::tables
