#pragma once
// Tables that give each value of an enum its words (a name for JSON, a message key), one row
// a value, written once beside their users instead of a switch in each of them.

#include <cstddef>

namespace torvane::platform {

// A row with one text for a value.
template <typename E> struct TEnumText {
    E Value;
    const char* Text;
};

// The row of table whose Value is value; the last row serves every value the table leaves
// out, so a table ends with its fallback.
template <typename Row, std::size_t N, typename E>
[[nodiscard]] constexpr const Row& RowFor(const Row (&table)[N], E value) {
    static_assert(N > 0, "a table needs its fallback row");
    for (const Row& row : table) {
        if (row.Value == value) {
            return row;
        }
    }
    return table[N - 1];
}

} // namespace torvane::platform
