#include "dose/calc_volume_dose.h"

#include <algorithm>
#include <cmath>

#include "common/sci_format.h"

namespace mirelo {
namespace {

// Bins 2..2*KvHigh take part; the bound is taken once and never reaches past the grid.
int LastBin(double kvHigh) {
    const double bound = 2 * kvHigh;
    if (!(bound >= 2)) {
        return 1;  // no bin (also for NaN)
    }
    return static_cast<int>(std::min(std::floor(bound), static_cast<double>(kBins)));
}

VolumeDoseView*& view() {
    static VolumeDoseView* v = nullptr;
    return v;
}

}  // namespace

VolumeDoseResult CalcVolumeDose(Module1& s) {
    VolumeDoseResult result;
    const int last = LastBin(s.KvHigh);

    double Z = 0;
    for (int j = 1; j <= kThicknesses; ++j) {
        s.DoseWork[j] = 0;
    }
    for (int i = 2; i <= last; ++i) {
        const double T = s.Spectrum[i] * (i * 0.5) * 0.001602 * s.CoefTissue[i];
        Z += T;
    }
    if (Z == 0 || !std::isfinite(Z)) {
        result.status = VolumeDoseResult::Status::NoSpectrum;
        return result;
    }
    const double G = s.AreaDose / Z;
    for (int i = 2; i <= last; ++i) {
        const double Q = s.Spectrum[i] * 1e10 * G * (i * 0.5) * 1.602e-16;
        for (int j = 1; j <= kThicknesses; ++j) {
            s.DoseWork[j] += Q * s.EffEA[i][j];
        }
    }

    const double photons = G * 1e10;
    bool finite = std::isfinite(photons);
    for (int j = 1; j <= kThicknesses; ++j) {
        finite = finite && std::isfinite(s.DoseWork[j]);
    }
    if (!finite) {
        // Never show infinity or NaN as a dose: nothing of this run stays.
        for (int j = 1; j <= kThicknesses; ++j) {
            s.DoseWork[j] = 0;
        }
        result.status = VolumeDoseResult::Status::OutOfRange;
        return result;
    }

    result.status = VolumeDoseResult::Status::Ok;
    result.photonCount = FormatSci(photons);
    for (int j = 1; j <= kThicknesses; ++j) {
        result.lines[static_cast<std::size_t>(j - 1)] =
            "       " + std::to_string(2 * j + 8) + "     \u2192     " + FormatSci(s.DoseWork[j]);
    }
    return result;
}

void SetVolumeDoseView(VolumeDoseView* v) { view() = v; }

void CalcVolumeDose() {
    const VolumeDoseResult r = CalcVolumeDose(SharedState());
    VolumeDoseView* v = view();
    if (v == nullptr) {
        return;
    }
    switch (r.status) {
    case VolumeDoseResult::Status::Ok:
        v->SetLabel14(r.photonCount);
        for (const std::string& line : r.lines) {
            v->AddToList1(line);
        }
        break;
    case VolumeDoseResult::Status::NoSpectrum:
        v->SetLabel14({});
        v->ShowWarning(kNoSpectrumMessage);
        break;
    case VolumeDoseResult::Status::OutOfRange:
        v->SetLabel14({});
        v->ShowWarning(kAreaDoseInvalidMessage);
        break;
    }
}

}  // namespace mirelo
