#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace mirelo::rdsr {

// DCMTK parses nested sequences recursively: a file of ten thousand nested sequences overflows the
// stack before it returns. Before DCMTK sees a file, its encoding is walked here without recursion
// (element headers only, values are skipped over) and the deepest sequence nesting is counted.
struct NestingScan {
    bool tooDeep = false;     // deeper than the limit: DCMTK must not parse it
    std::size_t depth = 0;    // deepest nesting seen (stops counting at limit + 1)
    bool complete = false;    // the whole file was walked; false when its encoding was not understood
                              // (DCMTK then judges it; nothing seen so far was too deep)
};

// Sequences nested deeper than this are refused. Dose reports need about twenty levels
// (content items and their code sequences); DCMTK's recursion has room for a few thousand.
inline constexpr std::size_t kMaxSequenceNesting = 200;

NestingScan ScanNesting(const std::filesystem::path& path, std::size_t limit = kMaxSequenceNesting);

// The same for a file already read into memory (before DCMTK parses it from there).
NestingScan ScanNesting(std::string_view bytes, std::size_t limit = kMaxSequenceNesting);

}  // namespace mirelo::rdsr
