#pragma once

#include <array>
#include <string>

#include "app/shared_state.h"

namespace mirelo {

// Messages of the dose command (UTF-8, blanks included).
inline constexpr const char* kNoSpectrumMessage = " スペクトルデータがありません  ";
inline constexpr const char* kAreaDoseInvalidMessage = " 面積線量を正しく入力して下さい ";

struct VolumeDoseResult {
    enum class Status {
        Ok,          // photonCount and lines hold the results
        NoSpectrum,  // the normalisation sum is 0 or not finite: nothing to scale
        OutOfRange,  // the area dose is so large that the results overflow
    };
    Status status = Status::NoSpectrum;
    std::string photonCount;                         // Label14: G x 1e10 as "0.000E+00"
    std::array<std::string, kThicknesses> lines{};  // List1: one line per thickness 10..30 cm
};

// The volume-dose calculation on `store`: reads AreaDose, KvHigh, Spectrum, CoefTissue and EffEA,
// rewrites DoseWork and returns the texts to show. Unless the status is Ok, DoseWork is all 0 and
// the texts are empty. Touches no window.
VolumeDoseResult CalcVolumeDose(Module1& store);

// How the calculation reaches the main window's results area without knowing the window.
class VolumeDoseView {
public:
    virtual ~VolumeDoseView() = default;
    virtual void SetLabel14(const std::string& text) = 0;
    virtual void AddToList1(const std::string& line) = 0;
    virtual void ShowWarning(const std::string& text) = 0;
};
void SetVolumeDoseView(VolumeDoseView* view);

// The program's procedure: computes on the shared store and writes Label14 and List1 through the
// installed view (it does not empty List1; its caller does). Without a view it only computes.
void CalcVolumeDose();

}  // namespace mirelo
