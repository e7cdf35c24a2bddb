#pragma once

#include <filesystem>
#include <span>

#include "catalogue/generator/pattern.hpp"

namespace kinetrope_tablegen {

// Writes the generated sources into `out_dir`:
//   kinetrope/collections.hpp  declarations of every table and sampler
//   tables_<i>.cpp             the tables and samplers, split into `shard_count`
//                              files of about equal size so they compile in parallel
//   registry.cpp               the registry in collection order and the sorted name index
// Output depends only on the collections, so every build writes the same bytes.
void emit_sources(std::span<const Collection> collections, const std::filesystem::path& out_dir, int shard_count);

}  // namespace kinetrope_tablegen
