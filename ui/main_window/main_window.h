#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/records/record.h"

#include "ui/hvl_fit/hvl_fit_window.h"
#include "ui/spectrum_window/draw_spectrum.h"
#include "ui/tube_voltage/tube_voltage_dialog.h"

namespace mirelo {

// The program's long title, in the window caption and in Label45.
inline const QString kLongTitle = QStringLiteral("Patient Volume Dose Calculator");

// The main window. Controls keep their designer names (as members and as objectName).
class Form1 : public QWidget, private TubeVoltagePort {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Loads the coefficient tables into the store and sets the defaults. On failure nothing is
    // stored and the reason (naming the file) is returned in `error`.
    bool Form_Load(const std::vector<std::filesystem::path>& dataFolders, QString& error);

    void Command2_Click();
    void Command9_Click();
    void Command3_Click();
    void Command5_Click();
    void Command4_Click();
    void Command1_Click();
    void Text15_KeyDown(int keyCode, int shift);

    // The tube-voltage dialog while it exists (null before first use and after it was closed).
    Form4* TubeVoltageDialog() const { return form4_.data(); }
    // The spectrum window while it exists, likewise.
    Form6* SpectrumWindow() const { return form6_.Instance(); }

    // The HVL fitting window while it exists (null before first use and after it was closed).
    HvlFitWindow* HvlFit() const { return hvlFit_.data(); }
    // The store this window and the windows it opens share.
    Module1& state() { return state_; }
    // Opens it, created on first use, with the angle and added filters of this window.
    void ShowHvlFit();

    // An event of a dose report as if typed: the target angle, the filters, a fixed tube voltage and
    // the area dose (Gy·cm²) into their fields, then the spectrum and the volume dose computed as the
    // two commands do (their refusals and questions included). Results of other inputs go.
    void EnterEvent(const QString& angle, const QString& inherentMm, const QString& alMm, const QString& cuMm,
                    const QString& kv, const QString& dapGyCm2);
    // "線量レポートを開く": the dose-reports window, created on first use (null while there is none,
    // and in a build without dose reports).
    void ShowDoseReports();
    QWidget* DoseReports() const { return doseReports_.data(); }
    QAction* OpenDoseReportsAction = nullptr;
    // "線量登録簿": the register window on the default register file (null while there is none).
    void ShowRegister();
    QWidget* Register() const { return register_.data(); }
    QAction* RegisterAction = nullptr;

    // The calculation procedures: read the store, call the engine, write the store and the results.
    // CalcSpectrum refuses (and changes nothing) when the beam has no meaning for the model.
    bool CalcSpectrum();
    void CalcVolumeDose();

    // The spectrum window's procedures and the end of the program, replaceable by tests.
    std::function<void()> drawSpectrum;
    std::function<void()> showForm6;
    std::function<void()> endProgram;

    // The menu bar above the designed window, and the designed window's area below it.
    QMenuBar* MenuBar = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* ToolsMenu = nullptr;
    QAction* fitHvlAction = nullptr;  // "HVL から固有フィルタを推定"
    QWidget* ClientArea = nullptr;

    // The program's own commands (records, help, language), all made by BuildMenus.
    QMenu* EditMenu = nullptr;
    QMenu* LanguageMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* SaveResultsAction = nullptr;  // "結果を保存…", Ctrl+S
    QAction* PrintReportAction = nullptr;  // "レポートを印刷…"
    QAction* SavePdfAction = nullptr;      // "PDF に保存…"
    QAction* CopyResultsAction = nullptr;  // "結果をコピー", Ctrl+C
    QAction* JapaneseAction = nullptr;
    QAction* EnglishAction = nullptr;
    QAction* GuideAction = nullptr;        // "使い方", F1
    QAction* AboutAction = nullptr;        // "Mirelo について"
    void SaveResults();
    void PrintReport();
    void SaveReportPdf();
    void CopyResults();
    void ShowGuide();
    void ShowAbout();
    void ChooseLanguage(bool english);

    // The record of the results on screen while they are complete and belong to the inputs shown
    // (the beam fields, the tube-voltage setting and the area dose they were computed from).
    std::optional<ResultRecord> ShownRecord() const;
    // The user's guide while it is open (null before and after).
    QTextBrowser* GuideWindow() const { return guide_.data(); }
    // Where the user's guide is looked for, in order.
    std::vector<QString> GuideCandidates() const;

    // Inputs.
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text15 = nullptr;
    // The unit of the area dose as the meter shows it; the calculation converts to Gy·cm².
    QComboBox* AreaUnitBox = nullptr;
    // Outputs.
    QLabel* Label7 = nullptr;
    QLabel* Label14 = nullptr;
    QListWidget* List1 = nullptr;
    // Commands.
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command9 = nullptr;
    // Captions of the input block and their units.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    // Other captions.
    QLabel* Label80 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label87 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label61 = nullptr;
    QLabel* Label57 = nullptr;
    QLabel* Label47 = nullptr;
    QLabel* Label53 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label35 = nullptr;
    QLabel* Label21 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label29 = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label31 = nullptr;
    QLabel* Label32 = nullptr;
    QLabel* Label33 = nullptr;
    QLabel* Label34 = nullptr;
    QLabel* Label27 = nullptr;
    QLabel* Label45 = nullptr;
    // Small pictures.
    QWidget* Picture1 = nullptr;
    QWidget* Picture2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;  // Form_Unload
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TubeVoltagePort
    void SetTubeVoltageCaption(const QString& caption) override;
    void FocusSpectrumCommand() override;
    void TubeVoltageChanged() override;

    // An input the spectrum was computed from changed: the spectrum and every result go.
    void DiscardSpectrum();
    // The area dose changed: the results computed from the old one go.
    void ClearResults();
    // Refuses the text of `field` with `message` and hands the field the focus.
    void Refuse(QLineEdit* field, const QString& message);
    // The number in a field by the program's reading rule, `whenEmpty` for an empty one; nothing
    // (after the refusal with `message`) for text that is not one number with the field's unit.
    std::optional<double> FieldNumber(QLineEdit* field, double whenEmpty, const QString& message);
    // The units printed beside a field, which may follow its number.
    QStringList FieldUnits(const QLineEdit* field) const;
    // What a field shows, as a value to compare with what was computed (NaN while refused).
    double FieldShown(const QLineEdit* field) const;


    // Records: the menus, and what the results on screen were computed from.
    void BuildMenus();
    void RetranslateMenus();
    void PlaceMarks();
    void NoteSpectrum();
    void NoteResults(double photons, const std::array<double, kThicknesses>& joules);
    void UpdateRecordActions();
    struct Computed {
        double angle = 0, inherentMm = 0, alMm = 0, cuMm = 0;
        TubeVoltage voltage;
        QString voltageCaption;
        BinArray spectrum{};
    };
    std::optional<Computed> spectrumInputs_;
    std::optional<ResultRecord> record_;
    std::optional<Computed> recordInputs_;
    QString recordAreaDoseText_;

    Module1 state_;  // the store this window shares with the windows it opens
    QPointer<Form4> form4_;
    QPointer<QTextBrowser> guide_;  // the user's guide while it is open
    QPointer<HvlFitWindow> hvlFit_;
    QPointer<QWidget> doseReports_;
    QPointer<QWidget> register_;
    SpectrumWindowHolder form6_;
};

// Ends the program at once: every top-level window is hidden, no window's closing step runs, and the
// event loop returns.
void EndProgram();

}  // namespace mirelo
