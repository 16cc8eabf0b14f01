// Any bytes as a batch file for mirelo-calc: the header is taken or refused with a message, and
// every later line gives either conditions the engine can take or one printable line saying why,
// which the result writers put out without failing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "calc/batch_reader.h"
#include "calc/conditions.h"
#include "calc/report.h"
#include "spectrum/input_rules.h"
#include "spectrum/spectrum.h"

namespace {

using namespace mirelo;
using namespace mirelo::calc;

// One line on a terminal: no line break or other control character.
void CheckMessage(const std::string& message) {
    if (message.empty()) {
        __builtin_trap();
    }
    for (char c : message) {
        if (static_cast<unsigned char>(c) < 0x20) {
            __builtin_trap();
        }
    }
}

void CheckConditions(const Conditions& c) {
    const TubeVoltage& v = c.voltage;
    if (c.range ? !(v.lowKv < v.highKv) : v.lowKv != v.highKv) {
        __builtin_trap();
    }
    const bool accepted = CheckInputs({.kv = v.lowKv,
                                       .kvHigh = c.range ? std::optional(v.highKv) : std::nullopt,
                                       .targetAngleDeg = c.angleDeg,
                                       .inherentMmAl = c.inherentMm,
                                       .alMm = c.alMm,
                                       .cuMm = c.cuMm,
                                       .areaDose = c.areaDose})
                              .has_value();
    if (!accepted || (c.areaDose && !(std::isfinite(c.areaDoseGyCm2) && c.areaDoseGyCm2 >= 0))) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto tables = std::make_unique<Tables>();  // the writers only read the sources
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t end = text.find('\n');
    const auto header = ReadBatchHeader(text.substr(0, end));
    if (!header) {
        CheckMessage(header.error());
        return 0;
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    for (std::size_t number = 2; !text.empty(); ++number) {
        const std::size_t next = text.find('\n');
        const std::string_view line = text.substr(0, next);
        text.remove_prefix(next == std::string_view::npos ? text.size() : next + 1);
        if (IsBlankLine(line)) {
            continue;
        }
        const auto texts = ReadBatchRow(*header, line);
        const auto conditions = texts ? ReadConditions(*texts) : Result<Conditions, InputError>(Failure{texts.error()});
        if (conditions) {
            CheckConditions(*conditions);
            continue;
        }
        CheckMessage(DescribeInputError(conditions.error(), Naming::Column));
        const Result<Calculation, InputError> failed = Failure{conditions.error()};
        for (Format format : {Format::Text, Format::Csv, Format::Json}) {
            const std::string out = BatchLine(number, failed, *tables, format);
            if (out.empty() || out.back() != '\n' || out.find('\n') != out.size() - 1) {
                __builtin_trap();
            }
            // The JSON line is written without a library: it must still be one valid JSON value.
            if (format == Format::Json && !nlohmann::json::accept(out)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
