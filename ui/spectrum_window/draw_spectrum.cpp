#include "ui/spectrum_window/draw_spectrum.h"

#include <QApplication>

#include "app/platform/message_box.h"
#include "app/platform/messages.h"
#include "ui/spectrum_window/quality_line.h"
#include "ui/spectrum_window/spectrum_plot.h"
#include "ui/state/shared_state.h"

namespace mirelo {

SpectrumWindowHolder::~SpectrumWindowHolder() { delete form6_.data(); }

Form6& SpectrumWindowHolder::Get() {
    if (form6_.isNull()) {
        form6_ = new Form6();  // a window of its own; deletes itself when closed by its title bar
    }
    return *form6_;
}

void SpectrumWindowHolder::Show() { Get().show(); }

void SpectrumWindowHolder::Draw() {
    PlotSeams seams;
    seams.refuse = [] { MessageBox::warning(QApplication::activeWindow(), messages::kNoSpectrum); };
    seams.processPendingEvents = [] { ProcessPendingEvents(); };
    seams.surface = [this]() -> DrawingSurface& { return Get().Picture3->drawing(); };
    seams.showWindow = [this] { Show(); };
    if (DrawSpectrum(SharedState().Spectrum, seams)) {
        Get().QualityLine->setText(QualityLineText(SharedState()));
    }
}

}  // namespace mirelo
