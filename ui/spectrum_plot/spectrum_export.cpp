#include "ui/spectrum_plot/spectrum_export.h"

#include "common/sci_format.h"

namespace mirelo {

std::string SpectrumFileText(const BinArray& spectrum) {
    std::string text;
    text.reserve(kBins * 22);
    for (int i = 1; i <= kBins; ++i) {
        text += FormatSci(0.5 * i);
        text += "  ";
        text += FormatSci(spectrum[i]);
        text += "\r\n";
    }
    return text;
}

}  // namespace mirelo
