// Renders the spectrum window for 80 kV with the main window's default beam conditions into a PNG,
// headless: render_spectrum_window <table folder> <out.png>. Not a test; used for the README picture.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "spectrum/spectrum.h"
#include "tables/table_error_text.h"
#include "tables/table_reader.h"
#include "ui/spectrum_window/draw_spectrum.h"
#include "ui/spectrum_window/form6.h"
#include "ui/state/shared_state.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder with Att_coeff2021.dat and effEA.dat> <out.png>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    using namespace mirelo;
    const auto tables = LoadTables({std::filesystem::path(argv[1])});
    if (!tables) {
        std::fprintf(stderr, "%s\n", DescribeTableError(tables.error()).c_str());
        return 1;
    }
    // 80 kV, 12 degrees, 2.5 mm inherent and 1.0 mm added aluminium, no copper; the store holds the
    // settings too, for the beam-quality line.
    Module1 s;
    s.tables = *tables;
    const Beam beam = Beam::FromMm(12, 2.5, 1.0, 0);
    s.TargetAngle = beam.targetAngleDeg;
    s.InherentFilter = beam.inherentCmAl;
    s.FilterAl = beam.alCm;
    s.FilterCu = beam.cuCm;
    s.KvLow = s.KvHigh = 80;
    s.KvMode = 1;
    s.Spectrum = ComputeSpectrum(s.tables, beam, TubeVoltage::Fixed(80))->fluence;
    SpectrumWindowHolder holder(s);
    holder.Draw();
    Form6* form = holder.Instance();
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
