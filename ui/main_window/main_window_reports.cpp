// The main window and the dose reports: an event's conditions into the fields, computed as typed.
#include "ui/main_window/main_window.h"

#include <QComboBox>
#include <QLocale>

#include "common/number_text.h"
#include "common/path_text.h"
#include "dose/area_unit.h"
#include "ui/state/shared_state.h"
#ifdef MIRELO_WITH_RDSR
#include "ui/dose_reports/dose_reports_window.h"
#include "ui/register_window/register_window.h"
#endif

namespace mirelo {

void Form1::EnterEvent(const QString& angle, const QString& inherentMm, const QString& alMm, const QString& cuMm,
                       const QString& kv, const QString& dapGyCm2) {
    // The fields' own change handlers clear what no longer belongs to them.
    Text1->setText(angle);
    Text2->setText(inherentMm);
    Text3->setText(alMm);
    Text4->setText(cuMm);
    // A fixed tube voltage, as the tube-voltage dialog's OK writes it.
    Module1& s = state_;
    const double volts = QLocale::c().toDouble(kv);
    const QString caption = QString::fromStdString(NumberText(volts));  // as the dialog shows a fixed voltage
    if (s.KvLow != volts || s.KvHigh != volts || s.KvMode != 1 || Label7->text() != caption) {
        s.KvLow = volts;
        s.KvHigh = volts;
        s.KvMode = 1;
        SetTubeVoltageCaption(caption);
        TubeVoltageChanged();
    }
    // The report's area dose is in Gy·cm², whatever unit the meter's field was set to.
    AreaUnitBox->setCurrentIndex(AreaUnitBox->findData(static_cast<int>(AreaUnit::GyCm2)));
    Text15->setText(dapGyCm2);
    raise();
    activateWindow();
    Command2_Click();
    // A refused beam leaves no spectrum of these inputs; the volume dose is not asked for then.
    if (!spectrumInputs_ || state_.Spectrum == BinArray{}) {
        return;
    }
    Command3_Click();
}

void Form1::ShowDoseReports() {
#ifdef MIRELO_WITH_RDSR
    if (doseReports_.isNull()) {
        doseReports_ = new DoseReportsWindow(state_.tables, [this](const EventEntry& e) {
            EnterEvent(e.angle, e.inherentMm, e.alMm, e.cuMm, e.kv, e.dapGyCm2);
        });
    }
    doseReports_->show();
    doseReports_->raise();
    doseReports_->activateWindow();
#endif
}

void Form1::ShowRegister() {
#ifdef MIRELO_WITH_RDSR
    if (register_.isNull()) {
        auto* window = new RegisterWindow;
        register_ = window;
        // The default register when there is one; another is chosen in the window.
        std::error_code ec;
        const auto path = registry::DefaultDatabasePath();
        if (std::filesystem::exists(path, ec)) window->OpenDatabase(QString::fromStdString(PathText(path)));
    }
    register_->show();
    register_->raise();
    register_->activateWindow();
#endif
}

}  // namespace mirelo
