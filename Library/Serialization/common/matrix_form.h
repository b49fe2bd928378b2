#pragma once

#include <cstdint>
#include <limits>

#include "Core/check.h"
#include "Core/multi_process_stream.h"
#include "Serialization/common/archiver_wrapper.h"
#include "Serialization/common/value_kinds.h"
#include "Serialization/serialization.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// A matrix inside a persisted object. JSON nests by column: {"class": "qavrek.matrix", "rows", "columns",
// "data": [column 0, column 1, ...]}, so "data"[c][r] is element (r, c); a value that is not finite is
// null, "Infinity" or "-Infinity", as every double in JSON. Binary is row-major: rows and columns as
// unsigned 64-bit values, then the values as one block.
void matrix_to_json(ordered_json& j, const matrix<double>& m);
void matrix_from_json(const ordered_json& j, matrix<double>& out);
void matrix_to_binary(multi_process_stream& s, const matrix<double>& m);
void matrix_from_binary(multi_process_stream& s, matrix<double>& out);

namespace matrix_form_detail {
constexpr const char* source_file = "Library/Serialization/common/matrix_form";

// A matrix without values has no data to vouch for its shape, yet its JSON form holds one array per
// column: its sides are capped far above any stored object's.
constexpr uint64_t max_side_without_values = uint64_t(1) << 16;

// rows × columns, refused when it overflows or describes an empty matrix of absurd shape.
inline size_t element_count(uint64_t rows, uint64_t columns, const char* function) {
  QAVREK_CHECK_AT(function, source_file, __LINE__,
                  columns == 0 || rows <= std::numeric_limits<size_t>::max() / columns, "a matrix of ", rows, " x ",
                  columns, " elements is too large");
  const size_t count = static_cast<size_t>(rows * columns);
  if (count == 0 && (rows > max_side_without_values || columns > max_side_without_values))
    ::qavrek::details::check_fail(function, source_file, __LINE__,
                                  ::qavrek::details::concat("an empty matrix of ", rows, " x ", columns,
                                                            " is refused: one without values has at most ",
                                                            max_side_without_values, " rows and columns"));
  return count;
}
}  // namespace matrix_form_detail

inline void matrix_to_json(ordered_json& j, const matrix<double>& m) {
  j["class"] = "qavrek.matrix";
  j["rows"] = static_cast<uint64_t>(m.rows());
  j["columns"] = static_cast<uint64_t>(m.columns());
  ordered_json data = ordered_json::array();
  for (size_t c = 0; c < m.columns(); ++c) {
    ordered_json column = ordered_json::array();
    for (size_t r = 0; r < m.rows(); ++r) column.push_back(serialization::json_from_double(m(r, c)));
    data.push_back(std::move(column));
  }
  j["data"] = std::move(data);
}

inline void matrix_from_json(const ordered_json& j, matrix<double>& out) {
  using reader = serialization::archiver_wrapper<ordered_json>;
  // at() reports a missing key instead of reading past it.
  uint64_t rows = 0, columns = 0;
  reader::read(j.at("rows"), rows);
  reader::read(j.at("columns"), columns);
  matrix_form_detail::element_count(rows, columns, "matrix_from_json");
  // Every column must hold its values before the storage is allocated, so that a file cannot ask for
  // more memory than it fills; a short or missing column fails here as reading it would.
  const ordered_json& data = j.at("data");
  for (size_t c = 0; c < columns; ++c) {
    const ordered_json& column = data.at(c);
    if (rows > 0) column.at(rows - 1);
  }
  out = matrix<double>(static_cast<size_t>(rows), static_cast<size_t>(columns));
  for (size_t c = 0; c < columns; ++c) {
    const ordered_json& column = data[c];
    for (size_t r = 0; r < rows; ++r) out(r, c) = serialization::double_from_json(column[r]);
  }
}

inline void matrix_to_binary(multi_process_stream& s, const matrix<double>& m) {
  const size_t count = m.rows() * m.columns();
  // The block count travels as 32 bits: a larger matrix would be written truncated.
  QAVREK_CHECK_AT("matrix_to_binary", matrix_form_detail::source_file, __LINE__,
                  count <= std::numeric_limits<uint32_t>::max(), "a matrix of ", count,
                  " elements has no binary form (at most 4294967295)");
  s << static_cast<uint64_t>(m.rows()) << static_cast<uint64_t>(m.columns());
  s.Push(m.data(), static_cast<unsigned>(count));
}

inline void matrix_from_binary(multi_process_stream& s, matrix<double>& out) {
  uint64_t rows = 0, columns = 0;
  s >> rows >> columns;
  const size_t count = matrix_form_detail::element_count(rows, columns, "matrix_from_binary");
  // A damaged size must not turn into a huge allocation: the values have to be in the stream.
  QAVREK_CHECK_AT("matrix_from_binary", matrix_form_detail::source_file, __LINE__,
                  count <= std::numeric_limits<uint32_t>::max() && count <= s.remaining() / sizeof(double),
                  "a matrix of ", rows, " x ", columns, " elements runs past the end of the stream");
  out = matrix<double>(static_cast<size_t>(rows), static_cast<size_t>(columns));
  double* data = out.data();
  unsigned n = static_cast<unsigned>(count);
  s.Pop(data, n);
}

namespace serialization {

template <>
struct persistent_form<matrix<double>> {
  static void save(ordered_json& j, const matrix<double>& m) { matrix_to_json(j, m); }
  static void load(const ordered_json& j, matrix<double>& m) { matrix_from_json(j, m); }
  static void save(multi_process_stream& s, const matrix<double>& m) { matrix_to_binary(s, m); }
  static void load(multi_process_stream& s, matrix<double>& m) { matrix_from_binary(s, m); }
};

}  // namespace serialization
}  // namespace qavrek
