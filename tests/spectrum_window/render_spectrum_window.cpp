// Renders the spectrum window for 80 kV with the main window's default beam conditions into a PNG,
// headless: render_spectrum_window <table folder> <out.png>. Not a test; used for the README picture.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "app/shared_state.h"
#include "app/table_reader.h"
#include "spectrum/calc_spectrum.h"
#include "ui/spectrum_window/draw_spectrum.h"
#include "ui/spectrum_window/form6.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder with Att_coeff2021.dat and effEA.dat> <out.png>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    using namespace mirelo;
    std::string error;
    const auto tables = LoadTables({std::filesystem::path(argv[1])}, error);
    if (!tables) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Module1& store = SharedState();
    StoreTables(*tables, store);
    store.TargetAngle = 12;            // 12 degrees
    store.InherentFilter = 2.5 * 0.1;  // mm -> cm
    store.FilterAl = 1.0 * 0.1;
    store.FilterCu = 0;
    store.KvLow = store.KvHigh = 80;
    store.KvMode = 1;
    CalcSpectrum(store);
    DrawSpectrum();
    Form6* form = Form6Instance();
    if (form == nullptr) {
        std::fprintf(stderr, "no spectrum window: the spectrum is empty at 30 keV\n");
        return 1;
    }
    if (!form->grab().toImage().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
