// Monte Carlo photon transport in a laterally infinite slab, used to find the
// fraction of the incident energy absorbed in the patient.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "xsection.h"

namespace mirelo::tables {

// Cross sections and scattering distributions of one material, tabulated
// once so that the transport loop never calls xraylib.
class TransportTables {
public:
    explicit TransportTables(const Material& m, double e_max_kev = 160.0);

    struct Coefficients {
        double photo;
        double incoherent;
        double coherent;
        double Total() const { return photo + incoherent + coherent; }
    };
    // Linear coefficients in 1/cm (log-log interpolation on a fine grid).
    Coefficients At(double e_kev) const;

    // S(q)/Z of the material, linear in q.
    double ScatteringFunction(double q) const;
    // Samples q^2 from F^2(q) of the material on [0, q2_max].
    double SampleFormFactorQ2(double q2_max, double u) const;

    double EMin() const { return e_min_; }

private:
    double e_min_;
    double log_e_min_;
    double dlog_e_;
    std::vector<double> log_photo_, log_incoh_, log_coh_;
    double dq_;
    std::vector<double> s_norm_;   // S/Z on q grid
    std::vector<double> q2_;       // q^2 on the same grid
    std::vector<double> f2_cum_;   // cumulative integral of F^2 d(q^2)
};

struct SlabResult {
    double fraction;     // mean absorbed energy / incident energy
    double rel_sd;       // relative standard deviation of the mean
    std::int64_t histories;
};

struct RunControl {
    std::int64_t min_histories = 50000;
    std::int64_t batch = 10000;
    std::int64_t max_histories = 4000000;
    double target_rel_sd = 0.0025;
};

// Counter-based seeding: each (energy bin, thickness) task owns a stream, so
// the tables do not depend on thread count or scheduling.
std::uint64_t TaskSeed(std::uint64_t base, int energy_bin, int thickness_index);

// Runs histories of photons of energy e_kev entering a slab of the given
// thickness (cm) at normal incidence, in batches until the relative standard
// deviation reaches the target (or the cap is hit).
SlabResult AbsorbedFraction(const TransportTables& tables, double e_kev, double thickness_cm,
                            std::uint64_t seed, const RunControl& control);

}  // namespace mirelo::tables
