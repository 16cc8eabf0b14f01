#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/shared_state.h"

namespace mirelo {

inline constexpr std::string_view kAttCoeffFile = "Att_coeff2021.dat";
inline constexpr std::string_view kEffEAFile = "effEA.dat";

// Reads `count` numbers from the text of a coefficient file. Values are separated by a comma, a
// line break, or blanks and tabs; empty lines and a leading UTF-8 byte-order mark are skipped, and
// whatever follows the last needed value is ignored. A value that is not a finite decimal number,
// an empty value between two commas, or too few values is an error; `error` then says which value
// and why, without the file name.
std::optional<std::vector<double>> ReadValues(std::string_view text, std::size_t count, std::string& error);

// Both tables as read, before they go into the store.
struct CoefficientTables {
    BinArray CoefW{}, CoefAl{}, CoefCu{}, CoefTissue{};
    EffTable EffEA{};
};

// Fills the tables from the texts of the two files; on error returns nothing and sets `error` to a
// message that names the file and the cause.
std::optional<CoefficientTables> ParseTables(std::string_view attText, std::string_view effText, std::string& error);

// Finds a file by its bare name in the given folders, in order.
std::optional<std::filesystem::path> FindDataFile(std::string_view name, const std::vector<std::filesystem::path>& folders);

// Loads both files from the first folder that holds each; on any failure returns nothing and sets a
// message naming the file and the cause.
std::optional<CoefficientTables> LoadTables(const std::vector<std::filesystem::path>& folders, std::string& error);

// Copies the tables into the store; row and slot 0 stay as they were (unset).
void StoreTables(const CoefficientTables& tables, Module1& store);

}  // namespace mirelo
