// Converter over Arrow: a matrix's rows as a map<utf8, int32> column (the
// JSON reps, one map per row) or as a large_utf8 column of pseudo texts,
// with the same content as the JSON and pseudo-text methods.
#pragma once

#include <memory>

#include "columnar/output.hpp"
#include "converter/converter.hpp"
#include "core/result.hpp"

namespace quarnel::columnar {

using converter::Conversion;
using converter::Converter;

// One map per row, its entries in column order (where two keys of a row
// are equal, the later column's value at the first's place, as a dict gets
// them). The rows are converted on the pool, counted, and written on the
// pool into buffers of exactly their size.
Result<std::shared_ptr<Node>> maps_column(const Converter& converter, const Conversion& conversion);

// One pseudo text per row: the rows converted, every text measured, then
// written on the pool straight into a buffer of exactly their size (a
// MemoryError before that when they could not fit).
Result<std::shared_ptr<Node>> pseudo_text_column(const Converter& converter, const Conversion& conversion);

}  // namespace quarnel::columnar
