#pragma once

#include <QPointer>

#include "ui/spectrum_window/form6.h"
#include "ui/state/shared_state.h"

namespace mirelo {

// The spectrum window of one owner (the main window): created on first use and reused, discarded
// when closed by its title bar, and gone with its owner.
class SpectrumWindowHolder {
public:
    explicit SpectrumWindowHolder(Module1& state) : state_(state) {}
    SpectrumWindowHolder(const SpectrumWindowHolder&) = delete;
    SpectrumWindowHolder& operator=(const SpectrumWindowHolder&) = delete;
    ~SpectrumWindowHolder();

    // The window while it exists (null before first use and after it was closed).
    Form6* Instance() const { return form6_.data(); }
    // The window, created hidden when there is none.
    Form6& Get();

    // Shows the window without making it modal, creating it on first use, and brings it to the
    // front with the keyboard focus, also when it was open behind another window.
    void Show();
    // Plots the shared spectrum on the window with its beam-quality line and shows it, or warns that
    // there is no spectrum data (no photons at all) and leaves an existing window blank with nothing
    // to save.
    void Draw();
    // The shared spectrum was replaced or discarded: an open window shows the new one, and a window
    // that cannot (hidden, or no photons) is blanked and hidden, so that it never shows or saves a
    // spectrum other than the current one.
    void SpectrumChanged();

private:
    void Plot(bool show);

    Module1& state_;
    QPointer<Form6> form6_;
};

}  // namespace mirelo
