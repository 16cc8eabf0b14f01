#include "common/text_columns.h"

#include "common/utf8.h"

namespace mirelo {
namespace {

struct Range {
    char32_t first, last;
};

// East Asian Width W and F (Unicode's EastAsianWidth.txt), merged into the blocks a report's text
// can hold; the few wide symbols elsewhere are left at one column.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks (general category Mn in the blocks in use), drawn over the character before them.
constexpr Range kCombining[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

template <std::size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
    for (const Range& r : ranges) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

}  // namespace

std::size_t TextColumns(std::string_view utf8) {
    std::size_t columns = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = DecodeUtf8(utf8, pos);  // a broken byte is one U+FFFD: one column
        columns += In(kCombining, c) ? 0 : In(kWide, c) ? 2 : 1;
    }
    return columns;
}

std::string PadToColumns(std::string text, std::size_t columns) {
    const std::size_t used = TextColumns(text);
    if (used < columns) text.append(columns - used, ' ');
    return text;
}

}  // namespace mirelo
