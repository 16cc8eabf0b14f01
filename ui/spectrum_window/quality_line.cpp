#include "ui/spectrum_window/quality_line.h"

#include <QCoreApplication>

#include "common/number_text.h"
#include "quality/quality.h"

namespace mirelo {
namespace {

QString Number(double x) { return QString::fromStdString(NumberText(x)); }
QString Fixed(double x, int decimals) { return QString::number(x, 'f', decimals); }

}  // namespace

QString QualityLineText(const Module1& s) {
    // The store keeps filters in cm; users enter and read them in mm.
    const QString voltage = s.KvLow == s.KvHigh ? Number(s.KvHigh) : Number(s.KvLow) + QStringLiteral("–") + Number(s.KvHigh);
    const QString beam = QStringLiteral("%1 kV · %2° · Al %3 + %4 mm · Cu %5 mm")
                             .arg(voltage, Number(s.TargetAngle), Number(s.InherentFilter * 10), Number(s.FilterAl * 10),
                                  Number(s.FilterCu * 10));
    const auto q = ComputeBeamQuality(s.tables, PhotonSpectrum{s.Spectrum, s.KvHigh});
    if (!q) {
        return beam + QCoreApplication::translate("Form6", QT_TRANSLATE_NOOP("Form6", " | 線質を求められません"));
    }
    return beam + QCoreApplication::translate(
                      "Form6", QT_TRANSLATE_NOOP("Form6", " | HVL₁ %1 mm Al · HVL₂ %2 mm Al · h %3 · 平均 %4 keV · 実効 %5 keV"))
                      .arg(Fixed(q->hvl1MmAl, 2), Fixed(q->hvl2MmAl, 2), Fixed(q->homogeneity, 2),
                           Fixed(q->meanKeV, 1), Fixed(q->effectiveKeV, 1));
}

}  // namespace mirelo
