#pragma once

#include <span>

#include "catalogue/generator/pattern.hpp"

namespace kinetrope_tablegen {

// The nearest double to a whole multiple of 10^-12; never negative zero.
double round_to_12_decimals(double value);

void round_table(Table& table);

// 1 + the index of the highest axis that is non-zero somewhere (0 if none).
int active_dimensions(const Table& table);

// Whether the step from the last sample to the first is no larger than the
// largest step inside the table.
bool closes_as_loop(const Table& table);

// Throws std::runtime_error naming the pattern and the broken rule.
void check_pattern(const AuthoredPattern& pattern);

// Per-pattern checks plus names unique across all collections.
void check_collections(std::span<const Collection> collections);

}  // namespace kinetrope_tablegen
