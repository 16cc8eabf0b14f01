#include "calc/batch_reader.h"

#include <optional>

#include "common/ascii.h"

namespace mirelo::calc {
namespace {

constexpr Field kColumns[] = {Field::Kv,  Field::KvHigh, Field::Spread,   Field::Angle, Field::Inherent,
                              Field::Al, Field::Cu,     Field::AreaDose, Field::Unit};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::optional<std::string>& Slot(ConditionTexts& t, Field field) {
    switch (field) {
        case Field::KvHigh: return t.kvHigh;
        case Field::Spread: return t.spread;
        case Field::Angle: return t.angle;
        case Field::Inherent: return t.inherent;
        case Field::Al: return t.al;
        case Field::Cu: return t.cu;
        case Field::AreaDose: return t.areaDose;
        case Field::Unit: return t.unit;
        case Field::Kv:
        case Field::None: break;
    }
    return t.kv;
}

}  // namespace

LineRead ReadBatchLine(std::istream& in, std::string& line, std::size_t limit) {
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    for (;;) {
        const auto c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any ? LineRead::Line : LineRead::End;
        }
        any = true;
        if (c == '\n') {
            return LineRead::Line;
        }
        if (line.size() == limit) {
            return LineRead::TooLong;
        }
        line.push_back(static_cast<char>(c));
    }
}

bool IsBlankLine(std::string_view line) {
    for (char c : line) {
        if (!IsBlank(c) && c != '\r') {
            return false;
        }
    }
    return true;
}

Result<std::vector<std::string>, std::string> SplitCsvLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::vector<std::string> values;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        std::string value;
        if (i < line.size() && line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += line[i++];
            }
            if (!closed) {
                return Failure{std::string("a quoted value is not closed")};
            }
            while (i < line.size() && IsBlank(line[i])) {
                ++i;
            }
            if (i < line.size() && line[i] != ',') {
                return Failure{std::string("text after a closing quote")};
            }
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ',') {
                ++i;
            }
            std::size_t end = i;
            while (end > start && IsBlank(line[end - 1])) {
                --end;
            }
            value.assign(line.substr(start, end - start));
        }
        values.push_back(std::move(value));
        if (i >= line.size()) {
            return values;
        }
        ++i;  // the comma
    }
}

Result<BatchHeader, std::string> ReadBatchHeader(std::string_view line) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF") {
        line.remove_prefix(3);
    }
    const auto names = SplitCsvLine(line);
    if (!names) {
        return Failure{"header: " + names.error()};
    }
    BatchHeader header;
    for (const std::string& name : *names) {
        Field found = Field::None;
        for (Field f : kColumns) {
            if (EqualsNoCase(name, ColumnName(f))) {
                found = f;
            }
        }
        if (found == Field::None) {
            return Failure{"header: \"" + Printable(name) +
                           "\" is not one of kv, kv_high, spread, angle, inherent, al, cu, area_dose, unit"};
        }
        for (Field f : header.columns) {
            if (f == found) {
                return Failure{"header: \"" + Printable(name) + "\" is named twice"};
            }
        }
        header.columns.push_back(found);
    }
    bool kv = false;
    for (Field f : header.columns) {
        kv = kv || f == Field::Kv;
    }
    if (!kv) {
        return Failure{std::string("header: no kv column")};
    }
    return header;
}

Result<ConditionTexts, InputError> ReadBatchRow(const BatchHeader& header, std::string_view line) {
    const auto values = SplitCsvLine(line);
    if (!values) {
        return Failure{InputError{Field::None, "", values.error()}};
    }
    if (values->size() != header.columns.size()) {
        return Failure{InputError{Field::None, "",
                                  std::to_string(values->size()) + " values where the header names " +
                                      std::to_string(header.columns.size())}};
    }
    ConditionTexts texts;
    for (std::size_t k = 0; k < values->size(); ++k) {
        if (!(*values)[k].empty()) {
            Slot(texts, header.columns[k]) = (*values)[k];
        }
    }
    return texts;
}

}  // namespace mirelo::calc
