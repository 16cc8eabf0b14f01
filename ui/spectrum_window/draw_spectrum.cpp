#include "ui/spectrum_window/draw_spectrum.h"

#include <QApplication>

#include "app/platform/message_box.h"
#include "app/shared_state.h"
#include "ui/spectrum_window/form6.h"
#include "ui/spectrum_window/spectrum_plot.h"

namespace mirelo {

void ShowForm6() { Form6Get().show(); }

void DrawSpectrum() {
    PlotSeams seams;
    seams.warn = [](const std::string& text) {
        MessageBox::warning(QApplication::activeWindow(), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    };
    seams.processPendingEvents = [] { ProcessPendingEvents(); };
    seams.surface = []() -> DrawingSurface& { return Form6Get().Picture3->surface(); };
    seams.showWindow = [] { ShowForm6(); };
    DrawSpectrum(SharedState(), seams);
}

}  // namespace mirelo
