#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qavrek {

// The binary archive: values appended in sequence and read back in the same order, untagged.
// Layout: little-endian values of their natural width, bool as one byte, strings as a u32 length
// and their bytes, blocks as a u32 count and their doubles. Every read is bounds-checked, and a read
// that fails leaves the stream where it was.
class multi_process_stream {
 public:
  multi_process_stream() = default;

  multi_process_stream& operator<<(bool value);
  multi_process_stream& operator<<(int16_t value);
  multi_process_stream& operator<<(int32_t value);
  multi_process_stream& operator<<(uint32_t value);
  multi_process_stream& operator<<(uint64_t value);
  multi_process_stream& operator<<(double value);
  multi_process_stream& operator<<(const std::string& value);

  multi_process_stream& operator>>(bool& value);
  multi_process_stream& operator>>(int16_t& value);
  multi_process_stream& operator>>(int32_t& value);
  multi_process_stream& operator>>(uint32_t& value);
  multi_process_stream& operator>>(uint64_t& value);
  multi_process_stream& operator>>(double& value);
  multi_process_stream& operator>>(std::string& value);

  // Appends a block of n doubles.
  void Push(const double* p, unsigned n);
  // Reads the next block into the caller's buffer of n doubles; a block of another count is an error.
  void Pop(double*& p, unsigned& n);

  std::vector<unsigned char> GetRawData() const { return data_; }
  // The stream then reads these bytes from their start.
  void SetRawData(const std::vector<unsigned char>& data);

  // Bytes not read yet.
  size_t remaining() const noexcept { return data_.size() - read_position_; }

 private:
  void append(const void* bytes, size_t size);
  void peek(void* bytes, size_t size, const char* what) const;
  void extract(void* bytes, size_t size, const char* what);

  std::vector<unsigned char> data_;
  size_t read_position_ = 0;
};

}  // namespace qavrek
