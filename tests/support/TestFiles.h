#pragma once
// Small file helpers for tests: a temporary folder removed at the end, whole-file
// reads, and little-endian field access.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace praatkist::test {

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;
  const std::filesystem::path &Path() const { return FPath; }
  std::filesystem::path operator/(const std::string &name) const { return FPath / name; }

private:
  std::filesystem::path FPath;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path &path);
void WriteBytes(const std::filesystem::path &path, const void *data, std::size_t size);
std::uint32_t Le32(const std::vector<std::uint8_t> &bytes, std::size_t at);
std::uint16_t Le16(const std::vector<std::uint8_t> &bytes, std::size_t at);

// Whether the process may ignore file permissions (root): tests that rely on a
// read-only folder skip then.
bool IgnoresPermissions();

} // namespace praatkist::test
