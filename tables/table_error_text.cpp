#include "tables/table_error_text.h"

#include <cmath>

#include "common/number_text.h"

namespace mirelo {

std::string DescribeTableError(const TableError& e) {
    const std::string where = "value " + std::to_string(e.value) + " (line " + std::to_string(e.line) + ")";
    std::string cause;
    switch (e.kind) {
    case TableError::Kind::NotFound: {
        std::string looked;
        for (const auto& f : e.looked) {
            looked += (looked.empty() ? "" : ", ") + f;
        }
        cause = "file not found (looked in: " + looked + ")";
        break;
    }
    case TableError::Kind::NotRegular:
        cause = "cannot be read (" + e.reason + ")";
        break;
    case TableError::Kind::CannotOpen:
        cause = "cannot be opened (" + e.reason + ")";
        break;
    case TableError::Kind::ReadFailed:
        cause = "cannot be read (" + e.reason + ")";
        break;
    case TableError::Kind::TooLarge:
        cause = "too large for a table (" + std::to_string(e.bytes) + " bytes; at most " +
                std::to_string(kMaxTableBytes) + ")";
        break;
    case TableError::Kind::TooFewValues:
        cause = std::to_string(e.found) + " of " + std::to_string(e.needed) + " values";
        break;
    case TableError::Kind::EmptyValue:
        cause = where + " is empty";
        break;
    case TableError::Kind::NotANumber:
        cause = where + " is not a number: \"" + e.token + "\"";
        break;
    case TableError::Kind::Overflow:
        cause = where + " is too large: \"" + e.token + "\"";
        break;
    case TableError::Kind::OutOfRange:
        cause = where + " is " + NumberText(e.number) + ", where " +
                (std::isfinite(e.highest) ? "an absorbed-energy fraction from " + NumberText(e.lowest) + " to " + NumberText(e.highest)
                                      : "an attenuation coefficient of " + NumberText(e.lowest) + " or more") +
                " was expected";
        break;
    case TableError::Kind::WrongEnergy:
        cause = "line " + std::to_string(e.line) + ": energy " + NumberText(e.energy) + " where " +
                NumberText(e.expectedEnergy) + " was expected";
        break;
    }
    return e.file + ": " + cause;
}

}  // namespace mirelo
