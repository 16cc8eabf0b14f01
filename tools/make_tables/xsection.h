// Photon interaction coefficients built on xraylib's cross sections.
#pragma once

#include <string>
#include <vector>

namespace mirelo::tables {

struct Constituent {
    int z;
    double mass_fraction;
};

struct Material {
    std::string name;
    std::vector<Constituent> parts;
    double density;  // g/cm^3
};

// Materials written to the tables. Tissue and air compositions come from
// xraylib's NIST compound list so they match the reference tables.
Material Tungsten();
Material Aluminium();
Material Copper();
Material SoftTissueIcrp();
Material DryAir();
Material Water();

// Counts how often xraylib refused an energy and a log-log extrapolation was
// used instead; the generator reports it so the provenance stays honest.
long ExtrapolationCount();

// Mass attenuation coefficient with coherent scattering, cm^2/g.
double MuRhoTotal(const Material& m, double e_kev);

// Partial mass coefficients, cm^2/g.
double MuRhoPhoto(const Material& m, double e_kev);
double MuRhoIncoherent(const Material& m, double e_kev);
double MuRhoCoherent(const Material& m, double e_kev);

// Mass energy-absorption coefficient, cm^2/g, from the interaction cross
// sections: photoabsorption less the fluorescence that escapes, plus
// incoherent scattering weighted by the mean energy given to the electron.
// Radiative losses of the secondary electrons are neglected (< 0.1 % below
// 150 keV in low-Z media).
double MuEnRho(const Material& m, double e_kev);

// Mean fraction of the photon energy handed to the electron in one
// incoherent scattering on element z, Klein-Nishina weighted by S(q, Z).
double IncoherentTransferFraction(int z, double e_kev);

// Energy (keV) carried off by fluorescence per photoabsorption in the given
// shell of element z: fluorescence yield times the rate-weighted line energy.
double FluorescenceEnergy(int z, int shell);

// Momentum transfer (1/Angstrom) in xraylib's convention, sin(theta/2)/lambda.
double MomentumTransfer(double e_kev, double cos_theta);

// Incoherent scattering function and squared atomic form factor of a
// material, per gram (sum over elements of atoms-per-gram times S or F^2),
// normalised by the electrons per gram for S so that the result is in [0, 1].
double NormalisedScatteringFunction(const Material& m, double q);
double FormFactorSquaredPerGram(const Material& m, double q);

}  // namespace mirelo::tables
