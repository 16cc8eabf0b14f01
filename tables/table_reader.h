#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "tables/tables.h"

namespace mirelo {

// Why a table could not be read. The file is named by the caller's text (DescribeTableError).
struct TableError {
    enum class Kind {
        NotFound,      // no entry of that name in any folder
        NotRegular,    // an entry exists but is not a regular file (directory, FIFO, device, dangling link)
        CannotOpen,    // a regular file that cannot be opened (reason says why)
        ReadFailed,    // reading failed part-way (reason says why)
        TooLarge,      // larger than kMaxTableBytes
        TooFewValues,  // `found` of `needed` values
        EmptyValue,    // value `value` on `line` is empty (two commas)
        NotANumber,    // value `value` on `line` is `token`
        Overflow,      // value `value` on `line` (`token`) does not fit a double
        WrongEnergy,   // record on `line` starts with `found` keV where `expected` was due
        OutOfRange,    // value `value` on `line` is `number`, outside `lowest` to `highest`
    };
    Kind kind = Kind::NotFound;
    std::string file;                       // the bare name, or the path once found
    std::vector<std::string> looked;        // NotFound: the folders searched
    std::string reason;                     // the system's words for CannotOpen, ReadFailed, NotRegular
    std::size_t value = 0, line = 0;        // 1-based
    std::size_t found = 0, needed = 0;      // TooFewValues
    std::uintmax_t bytes = 0;               // TooLarge
    std::string token;                      // printable copy of the offending text
    double energy = 0, expectedEnergy = 0;  // WrongEnergy
    double number = 0, lowest = 0, highest = 0;  // OutOfRange (highest infinite: no upper bound)
};

// No real table comes near this; a larger file is refused before it is read.
inline constexpr std::uintmax_t kMaxTableBytes = 16u * 1024u * 1024u;

// The numbers of a coefficient file and the line each starts on.
struct TableValues {
    std::vector<double> values;
    std::vector<std::size_t> lines;
};

// Reads `count` numbers from the text of a coefficient file. Values are separated by a comma, a
// line break (LF, CR LF or CR), or blanks and tabs; empty lines and a leading UTF-8 byte-order mark
// are skipped, and whatever follows the last needed value is ignored. The error names no file.
Result<TableValues, TableError> ReadValues(std::string_view text, std::size_t count);

// Builds the tables from the texts of the two files, Att_coeff2021.dat first. Value 1 of every
// record must be its bin's energy, 0.5 n keV; the attenuation coefficients the calculation uses
// (values 2 to 5 and 7) must not be negative, and the absorbed-energy fractions (values 2 to 12 of
// effEA.dat) must lie from 0 to 1.
Result<Tables, TableError> ParseTables(std::string_view attText, std::string_view effText);

// Looks `name` up in the folders in order: the first folder that has an entry of that name decides,
// and that entry must be a readable regular file no larger than kMaxTableBytes.
Result<std::string, TableError> ReadDataFile(std::string_view name, const std::vector<std::filesystem::path>& folders,
                                             std::filesystem::path* foundAt = nullptr);

// Reads and checks both tables, Att_coeff2021.dat completely before effEA.dat, so that the first
// broken file in that order is the one reported.
Result<Tables, TableError> LoadTables(const std::vector<std::filesystem::path>& folders);

}  // namespace mirelo
