#pragma once

// The files that the persistence tests write are the seeds of the fuzz harnesses: when
// QAVREK_KEEP_TEST_FILES names a folder, a scratch folder's files are copied there before it is removed,
// each under a name made of its content's hash, so that the same bytes are kept once. Files beyond 64 KiB
// (the hostile ones, built to be large) would only slow the fuzzer down and are left out.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace qavrek::test_files {

inline void keep_for_fuzzing(const std::filesystem::path& folder) {
  const char* destination = std::getenv("QAVREK_KEEP_TEST_FILES");
  if (destination == nullptr || *destination == '\0') return;
  std::error_code error;
  std::filesystem::create_directories(destination, error);
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file(error) || entry.file_size(error) > 65536) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    std::ofstream(std::filesystem::path(destination) / (name + entry.path().extension().string()), std::ios::binary)
        << bytes;
  }
}

}  // namespace qavrek::test_files
