#pragma once

#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// Everything one spectrum calculation takes, in the units and names of the main window's store.
struct Setup {
    BinArray CoefW{}, CoefAl{}, CoefCu{};
    double TargetAngle = 0, InherentFilter = 0, FilterAl = 0, FilterCu = 0;
    double KvLow = 0, KvHigh = 0;
    int KvMode = 0;

    Tables AsTables() const {
        Tables t;
        t.w = CoefW;
        t.al = CoefAl;
        t.cu = CoefCu;
        return t;
    }
    Beam AsBeam() const { return {TargetAngle, InherentFilter, FilterAl, FilterCu}; }
    TubeVoltage AsVoltage() const { return {KvLow, KvHigh, KvMode == 1 ? Spread::Uniform : Spread::Normal}; }
};

}  // namespace mirelo
