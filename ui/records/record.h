#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "dose/volume_dose.h"
#include "quality/quality.h"
#include "spectrum/spectrum.h"
#include "tables/tables.h"

namespace mirelo {

// Everything one calculation was made from and gave, as a record must name it.
struct ResultRecord {
    std::string program;    // "Mirelo 1.0.0"
    std::string createdAt;  // local date and time, "2025-06-01 14:03:22"
    TableSource attTable, effTable;
    // The beam as the user entered it: degrees and mm.
    double targetAngleDeg = 0;
    double inherentMmAl = 0;
    double alMm = 0;
    double cuMm = 0;
    TubeVoltage voltage;
    double areaDoseGyCm2 = 0;
    // The area dose as it was entered: the number and the unit beside it ("2530", "mGy·cm²").
    double areaDoseEntered = 0;
    std::string areaDoseEnteredUnit = "Gy·cm²";
    VolumeDose dose;
    std::optional<BeamQuality> quality;  // of the spectrum, when it has one
};

// The words of a record in the language of the interface; the windows take them from their
// translations, so the engine stays free of any.
struct RecordWords {
    std::string title, program, createdAt;
    std::string attTable, effTable;
    std::string targetAngle, inherent, al, cu, degree, mm;
    std::string tubeVoltage, spread, fixed, uniform, normal;
    std::string areaDose, areaDoseUnit, entered, photons;
    std::string thickness, integralDose, fullPrecision;
    std::string hvl1, hvl2, homogeneity, meanEnergy, effectiveEnergy;
};

// One header line: a caption and its values.
struct RecordLine {
    std::string caption;
    std::vector<std::string> values;
};

// The header lines shared by the file and the printed report: program, date, both tables with
// their SHA-256, the beam, the tube-voltage setting with its spread, the area dose in Gy·cm² and as
// it was entered, the photon count, and the beam quality (HVLs to 0.01 mm Al, energies to 0.1 keV,
// as the spectrum window shows them).
// Numbers are written as the windows show them (the photon count in "0.000E+00").
std::vector<RecordLine> RecordHeader(const ResultRecord& record, const RecordWords& words);

// The eleven result lines: thickness in cm and the dose in "0.000E+00", as the result list shows it.
std::vector<std::pair<std::string, std::string>> RecordResults(const ResultRecord& record);

// The record as CSV (RFC 4180, CR LF) in UTF-8 with a byte-order mark, so that a spreadsheet in a
// Japanese setting reads it as UTF-8: the header lines, an empty line, a column caption line, and
// one line per thickness with the dose as shown and with every digit (round-trip).
std::string RecordCsv(const ResultRecord& record, const RecordWords& words);

// The results as tab-separated text for the clipboard: a caption line and the eleven lines.
std::string ResultsTsv(const ResultRecord& record, const RecordWords& words);

}  // namespace mirelo
