#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "common/numeric_reading.h"

class QLineEdit;

namespace mirelo {

// A number field of a window, read by the program's one reading rule (common/numeric_reading.h):
// one whole number, optionally followed by one of `units`, the unit printed beside the field.
Result<std::optional<double>, FieldRefusal> ReadField(const QLineEdit* field, const QStringList& units = {});

// The same as one value: `whenEmpty` for an empty field, NaN for text that is refused (NaN equals
// nothing, so a refused field never matches a value computed before).
double FieldValue(const QLineEdit* field, const QStringList& units, double whenEmpty);

}  // namespace mirelo
