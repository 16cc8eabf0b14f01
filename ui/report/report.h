#pragma once

#include <QByteArray>
#include <QString>

#include "ui/records/record.h"
#include "tables/tables.h"

class QPagedPaintDevice;

namespace mirelo {

// What one report page shows: the record's header and results and the spectrum it was computed from.
struct ReportContent {
    ResultRecord record;
    RecordWords words;
    BinArray spectrum{};
    QString resultsCaption;  // above the result lines
    QString plotCaption;     // above the plot
};

// Lays one A4 page out on `device` (a printer or a PDF writer set to A4): the title, the header lines,
// the eleven results and the spectrum plot. The plot is left out, with a note, when the spectrum has
// nothing at 30 keV (the spectrum window would not plot it either).
// Returns false when the device could not be painted on (a printer that refused the job).
bool PaintReport(QPagedPaintDevice& device, const ReportContent& content);

// The report as the bytes of a PDF file.
QByteArray ReportPdf(const ReportContent& content);

}  // namespace mirelo
