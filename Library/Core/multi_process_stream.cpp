#include "Core/multi_process_stream.h"

#include <bit>
#include <cstring>
#include <limits>

#include "Core/check.h"

static_assert(std::endian::native == std::endian::little, "the binary archive is written little-endian");

namespace qavrek {

void multi_process_stream::append(const void* bytes, size_t size) {
  const auto* first = static_cast<const unsigned char*>(bytes);
  data_.insert(data_.end(), first, first + size);
}

void multi_process_stream::peek(void* bytes, size_t size, const char* what) const {
  QAVREK_CHECK(size <= remaining(), "multi_process_stream: reading ", what, " of ", size,
               " bytes past the end of the stream (", remaining(), " bytes left)");
  if (size > 0) std::memcpy(bytes, data_.data() + read_position_, size);
}

void multi_process_stream::extract(void* bytes, size_t size, const char* what) {
  peek(bytes, size, what);
  read_position_ += size;
}

multi_process_stream& multi_process_stream::operator<<(bool value) {
  const unsigned char byte = value ? 1 : 0;
  append(&byte, 1);
  return *this;
}
multi_process_stream& multi_process_stream::operator<<(int16_t value) { append(&value, sizeof value); return *this; }
multi_process_stream& multi_process_stream::operator<<(int32_t value) { append(&value, sizeof value); return *this; }
multi_process_stream& multi_process_stream::operator<<(uint32_t value) { append(&value, sizeof value); return *this; }
multi_process_stream& multi_process_stream::operator<<(uint64_t value) { append(&value, sizeof value); return *this; }
multi_process_stream& multi_process_stream::operator<<(double value) { append(&value, sizeof value); return *this; }

multi_process_stream& multi_process_stream::operator<<(const std::string& value) {
  QAVREK_CHECK(value.size() <= std::numeric_limits<uint32_t>::max(), "multi_process_stream: string of ",
               value.size(), " bytes is too long");
  *this << static_cast<uint32_t>(value.size());
  append(value.data(), value.size());
  return *this;
}

multi_process_stream& multi_process_stream::operator>>(bool& value) {
  unsigned char byte = 0;
  peek(&byte, 1, "a bool");
  QAVREK_CHECK(byte <= 1, "multi_process_stream: byte ", int(byte), " is not a bool");
  ++read_position_;
  value = byte == 1;
  return *this;
}
multi_process_stream& multi_process_stream::operator>>(int16_t& value) { extract(&value, sizeof value, "an int16"); return *this; }
multi_process_stream& multi_process_stream::operator>>(int32_t& value) { extract(&value, sizeof value, "an int32"); return *this; }
multi_process_stream& multi_process_stream::operator>>(uint32_t& value) { extract(&value, sizeof value, "a uint32"); return *this; }
multi_process_stream& multi_process_stream::operator>>(uint64_t& value) { extract(&value, sizeof value, "a uint64"); return *this; }
multi_process_stream& multi_process_stream::operator>>(double& value) { extract(&value, sizeof value, "a double"); return *this; }

multi_process_stream& multi_process_stream::operator>>(std::string& value) {
  uint32_t size = 0;
  peek(&size, sizeof size, "a string length");
  const size_t left = remaining() - sizeof size;
  QAVREK_CHECK(size <= left, "multi_process_stream: string of ", size, " bytes runs past the end of the stream (",
               left, " bytes left)");
  read_position_ += sizeof size;
  value.assign(reinterpret_cast<const char*>(data_.data() + read_position_), size);
  read_position_ += size;
  return *this;
}

void multi_process_stream::Push(const double* p, unsigned n) {
  *this << static_cast<uint32_t>(n);
  if (n > 0) append(p, sizeof(double) * n);
}

void multi_process_stream::Pop(double*& p, unsigned& n) {
  uint32_t count = 0;
  peek(&count, sizeof count, "a block count");
  QAVREK_CHECK(count == n, "multi_process_stream: block of ", count, " doubles read into a buffer of ", n);
  QAVREK_CHECK(sizeof(double) * count <= remaining() - sizeof count, "multi_process_stream: reading a block of ",
               sizeof(double) * count, " bytes past the end of the stream (", remaining() - sizeof count,
               " bytes left)");
  read_position_ += sizeof count;
  extract(p, sizeof(double) * count, "a block");
}

void multi_process_stream::SetRawData(const std::vector<unsigned char>& data) {
  data_ = data;
  read_position_ = 0;
}

}  // namespace qavrek
