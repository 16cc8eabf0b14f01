#include "common/csv.h"

namespace mirelo {

std::string CsvText(std::string_view text) {
    std::string cell;
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        cell += '\'';
    }
    cell += text;
    const bool blankEnd = !text.empty() && (text.front() == ' ' || text.back() == ' ');
    if (cell.find_first_of(",\"\r\n") == std::string::npos && !blankEnd) {
        return cell;
    }
    std::string quoted = "\"";
    for (const char c : cell) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace mirelo
