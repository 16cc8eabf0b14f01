#include "ui/spectrum_window/draw_spectrum.h"

#include <QApplication>

#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "spectrum/spectrum.h"
#include "ui/spectrum_window/quality_line.h"
#include "ui/spectrum_plot/spectrum_plot.h"
#include "ui/state/shared_state.h"

namespace mirelo {

SpectrumWindowHolder::~SpectrumWindowHolder() { delete form6_.data(); }

Form6& SpectrumWindowHolder::Get() {
    if (form6_.isNull()) {
        form6_ = new Form6();  // a window of its own; deletes itself when closed by its title bar
    }
    return *form6_;
}

void SpectrumWindowHolder::Show() {
    Form6& f = Get();
    f.show();
    f.raise();
    f.activateWindow();
}

void SpectrumWindowHolder::Draw() { Plot(true); }

void SpectrumWindowHolder::SpectrumChanged() {
    Form6* f = Instance();
    if (f == nullptr) {
        return;
    }
    if (f->isVisible() && HasPhotons(state_.Spectrum)) {
        Plot(false);
        return;
    }
    f->ClearPlot();
    f->hide();
}

void SpectrumWindowHolder::Plot(bool show) {
    // A copy: pending events run in the middle of the plot and may replace the shared spectrum.
    const BinArray spectrum = state_.Spectrum;
    PlotSeams seams;
    seams.refuse = [] { MessageBox::warning(QApplication::activeWindow(), messages::kNoSpectrum); };
    seams.processPendingEvents = [] { ProcessPendingEvents(); };
    seams.surface = [this]() -> DrawingSurface& { return Get().Picture3->drawing(); };
    seams.showWindow = [this, show] {
        if (show) {
            Show();
        }
    };
    if (DrawSpectrum(spectrum, seams)) {
        Get().SetPlotted(spectrum);
        Get().QualityLine->setText(QualityLineText(state_));
        if (state_.Spectrum != spectrum) {
            SpectrumChanged();  // replaced while the plot ran: follow the new one
        }
    } else if (Form6* f = Instance()) {
        f->ClearPlot();
    }
}

}  // namespace mirelo
