#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace mirelo::rdsr {

// DCMTK parses nested sequences recursively: a file of ten thousand nested sequences overflows the
// stack before it returns. Before DCMTK sees a file, its encoding is walked here without recursion
// (element headers only, values are skipped over) and the deepest sequence nesting is counted.
struct NestingScan {
    bool tooDeep = false;     // deeper than the limit: DCMTK must not parse it
    std::size_t depth = 0;    // deepest nesting seen (stops counting at limit + 1)
    bool complete = false;    // the whole file was walked; false when its encoding was not understood
                              // (DCMTK then judges it; nothing seen so far was too deep)
    // An element, item or sequence declaring more bytes than the file has left after its header:
    // DCMTK parsing from memory would allocate whatever is declared, so such a file is refused.
    // Not looked for in a deflated data set (its length is known only once inflated).
    bool overlong = false;
    std::uint16_t overlongGroup = 0, overlongElement = 0;
    std::uint32_t declaredLength = 0;
    std::uint64_t bytesLeft = 0;
    // The walk saw every length DCMTK will see, so DCMTK may parse these bytes from memory: a
    // preamble and meta information whose group length agrees with its elements, a data set in
    // explicit VR (not deflated, no implicit part inside an unknown-VR sequence), every VR one DCMTK
    // knows with the same length field, walked to the end with no length too long. Otherwise DCMTK
    // reads the file itself.
    bool vouched = false;
    // Where the data set's own Content Sequence lies (file offsets: from its header to the end of
    // its last byte or delimiter), and each of its items (from the item's header on), so that a
    // vouched report can be parsed one content item at a time.
    struct Span {
        std::uint64_t begin = 0, end = 0;
        std::uint32_t length = 0;  // as declared in the header (undefined: 0xFFFFFFFF)
    };
    bool hasContent = false;
    Span content;
    std::vector<Span> contentItems;
};

// Sequences nested deeper than this are refused. Dose reports need about twenty levels
// (content items and their code sequences); DCMTK's recursion has room for a few thousand.
inline constexpr std::size_t kMaxSequenceNesting = 200;

NestingScan ScanNesting(const std::filesystem::path& path, std::size_t limit = kMaxSequenceNesting);

// The same for a file already read into memory (before DCMTK parses it from there).
NestingScan ScanNesting(std::string_view bytes, std::size_t limit = kMaxSequenceNesting);

}  // namespace mirelo::rdsr
