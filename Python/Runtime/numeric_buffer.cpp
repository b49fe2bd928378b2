#include "Runtime/numeric_buffer.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qavrek::python {
namespace {

template <class Word>
Word load(const char* at, bool swapped) noexcept {
  Word word;
  std::memcpy(&word, at, sizeof word);
  if (!swapped) return word;
  if constexpr (sizeof(Word) == 1)
    return word;
  else if constexpr (sizeof(Word) == 2)
    return static_cast<Word>(__builtin_bswap16(word));
  else if constexpr (sizeof(Word) == 4)
    return static_cast<Word>(__builtin_bswap32(word));
  else
    return static_cast<Word>(__builtin_bswap64(word));
}

// IEEE 754 binary16 (numpy's float16).
double half_to_double(std::uint16_t half) noexcept {
  const double sign = (half & 0x8000u) != 0 ? -1.0 : 1.0;
  const int exponent = (half >> 10) & 0x1f;
  const int mantissa = half & 0x3ff;
  if (exponent == 0) return sign * std::ldexp(mantissa, -24);
  if (exponent == 31) return mantissa == 0 ? sign * HUGE_VAL : std::nan("");
  return sign * std::ldexp(mantissa + 1024, exponent - 25);
}

}  // namespace

numeric_buffer::~numeric_buffer() {
  if (held_) PyBuffer_Release(&view_);
}

bool numeric_buffer::offered_by(PyObject* object) noexcept {
  return PyObject_CheckBuffer(object) && !PyBytes_Check(object) && !PyByteArray_Check(object) &&
         !PyUnicode_Check(object);
}

numeric_buffer::outcome numeric_buffer::acquire(PyObject* object) {
  if (PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) < 0) return outcome::failed;
  held_ = true;
  // A shape is given for every dimension; a scalar (no dimension) may come without one.
  if (view_.shape != nullptr)
    shape_.assign(view_.shape, view_.shape + view_.ndim);
  else if (view_.ndim != 0)
    shape_.assign(1, static_cast<size_t>(view_.len / view_.itemsize));
  size_ = 1;
  for (size_t extent : shape_) size_ *= extent;
  if (view_.strides != nullptr && view_.shape != nullptr) {
    strides_.assign(view_.strides, view_.strides + view_.ndim);
  } else {
    strides_.assign(shape_.size(), view_.itemsize);
    for (size_t d = shape_.size(); d-- > 1;) strides_[d - 1] = strides_[d] * static_cast<Py_ssize_t>(shape_[d]);
  }
  return parse_format() ? outcome::read : outcome::not_numbers;
}

// A struct-module format of one item: an optional byte-order mark, then one type code.
bool numeric_buffer::parse_format() {
  const char* format = view_.format != nullptr ? view_.format : "B";
  bool little = std::endian::native == std::endian::little;
  bool native_only = false;
  switch (*format) {
    case '@':
      native_only = true;
      ++format;
      break;
    case '=':
      ++format;
      break;
    case '<':
      little = true;
      ++format;
      break;
    case '>':
    case '!':
      little = false;
      ++format;
      break;
    default:
      native_only = true;
  }
  if (format[0] == '\0' || format[1] != '\0') return false;
  swapped_ = little != (std::endian::native == std::endian::little);
  const Py_ssize_t size = view_.itemsize;
  const bool integer_size = size == 1 || size == 2 || size == 4 || size == 8;
  switch (*format) {
    case '?':
      kind_ = kind::boolean;
      return size == 1;
    case 'b':
    case 'h':
    case 'i':
    case 'l':
    case 'q':
    case 'n':
      kind_ = kind::signed_integer;
      return integer_size;
    case 'B':
    case 'H':
    case 'I':
    case 'L':
    case 'Q':
    case 'N':
      kind_ = kind::unsigned_integer;
      return integer_size;
    case 'e':
      kind_ = kind::floating;
      return size == 2;
    case 'f':
      kind_ = kind::floating;
      return size == 4;
    case 'd':
      kind_ = kind::floating;
      return size == 8;
    case 'g':
      kind_ = kind::floating;
      return native_only && !swapped_ && size == static_cast<Py_ssize_t>(sizeof(long double));
    default:
      return false;
  }
}

double numeric_buffer::item(const char* at) const noexcept {
  switch (kind_) {
    case kind::boolean:
      return *at != 0 ? 1.0 : 0.0;
    case kind::signed_integer:
      switch (view_.itemsize) {
        case 1:
          return static_cast<double>(static_cast<std::int8_t>(load<std::uint8_t>(at, false)));
        case 2:
          return static_cast<double>(static_cast<std::int16_t>(load<std::uint16_t>(at, swapped_)));
        case 4:
          return static_cast<double>(static_cast<std::int32_t>(load<std::uint32_t>(at, swapped_)));
        default:
          return static_cast<double>(static_cast<std::int64_t>(load<std::uint64_t>(at, swapped_)));
      }
    case kind::unsigned_integer:
      switch (view_.itemsize) {
        case 1:
          return static_cast<double>(load<std::uint8_t>(at, false));
        case 2:
          return static_cast<double>(load<std::uint16_t>(at, swapped_));
        case 4:
          return static_cast<double>(load<std::uint32_t>(at, swapped_));
        default:
          return static_cast<double>(load<std::uint64_t>(at, swapped_));
      }
    case kind::floating:
      switch (view_.itemsize) {
        case 2:
          return half_to_double(load<std::uint16_t>(at, swapped_));
        case 4:
          return static_cast<double>(std::bit_cast<float>(load<std::uint32_t>(at, swapped_)));
        case 8:
          return std::bit_cast<double>(load<std::uint64_t>(at, swapped_));
        default: {
          long double value;
          std::memcpy(&value, at, sizeof value);
          return static_cast<double>(value);
        }
      }
  }
  return 0.0;
}

void numeric_buffer::copy_to(double* out) const noexcept {
  if (size_ == 0) return;
  const char* base = static_cast<const char*>(view_.buf);
  if (kind_ == kind::floating && view_.itemsize == 8 && !swapped_ && PyBuffer_IsContiguous(&view_, 'C')) {
    std::memcpy(out, base, size_ * sizeof(double));
    return;
  }
  const size_t dimensions = shape_.size();
  if (dimensions == 0) {
    out[0] = item(base);
    return;
  }
  // Rows of the last axis, the outer axes counted like an odometer.
  std::vector<size_t> index(dimensions, 0);
  const size_t row_length = shape_.back();
  const Py_ssize_t step = strides_.back();
  for (;;) {
    const char* row = base;
    for (size_t d = 0; d + 1 < dimensions; ++d) row += static_cast<Py_ssize_t>(index[d]) * strides_[d];
    for (size_t j = 0; j < row_length; ++j) *out++ = item(row + static_cast<Py_ssize_t>(j) * step);
    size_t d = dimensions - 1;
    while (d > 0 && ++index[d - 1] == shape_[d - 1]) index[--d] = 0;
    if (d == 0) return;
  }
}

}  // namespace qavrek::python
