// The scoring tables, made by generate_tables.cpp at build time and defined in
// the generated sources; declared here once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr std::size_t VALUE_TABLE_SIZE = std::size_t{1} << 17;
inline constexpr std::size_t DISPLACEMENT_TABLE_SIZE = std::size_t{1} << 14;
inline constexpr std::size_t FLUSH_TABLE_SIZE = std::size_t{1} << 13;

// One displacement per hash bucket; shared by every ranking's value table.
// Every displacement the generator needs is below 256, so they are bytes.
extern const std::uint8_t DISPLACEMENTS[DISPLACEMENT_TABLE_SIZE];

namespace detail {

// Value tables: the class of each rank-count key at its `value_slot`.
extern const std::uint16_t HIGH_VALUES[VALUE_TABLE_SIZE];
extern const std::uint16_t SHORT_DECK_VALUES[VALUE_TABLE_SIZE];
extern const std::uint16_t DEUCE_SEVEN_VALUES[VALUE_TABLE_SIZE];
extern const std::uint16_t ACE_FIVE_VALUES[VALUE_TABLE_SIZE];

// Flush tables: the class of the flush one suit's 13-bit rank mask makes.
extern const std::uint16_t HIGH_FLUSHES[FLUSH_TABLE_SIZE];
extern const std::uint16_t SHORT_DECK_FLUSHES[FLUSH_TABLE_SIZE];
extern const std::uint16_t DEUCE_SEVEN_FLUSHES[FLUSH_TABLE_SIZE];

}  // namespace detail
}  // namespace vantor
