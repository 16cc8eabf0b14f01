#include "ui/platform/field_reading.h"

#include <QLineEdit>
#include <limits>
#include <string>
#include <vector>

namespace mirelo {

Result<std::optional<double>, FieldRefusal> ReadField(const QLineEdit* field, const QStringList& units) {
    std::vector<std::string> unitTexts;
    for (const QString& u : units) {
        unitTexts.push_back(u.toStdString());
    }
    const std::vector<std::string_view> views(unitTexts.begin(), unitTexts.end());
    return ReadFieldNumber(field->text().toStdString(), views);
}

double FieldValue(const QLineEdit* field, const QStringList& units, double whenEmpty) {
    const auto reading = ReadField(field, units);
    if (!reading) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return reading->value_or(whenEmpty);
}

}  // namespace mirelo
