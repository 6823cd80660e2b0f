#include "support/TestFiles.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace praatkist::test {

#ifdef _WIN32
TTempDir::TTempDir()
{
  std::random_device random;
  for (int attempt = 0; attempt < 100 && FPath.empty(); ++attempt) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("praatkist-test." + std::to_string(random() % 100000000u));
    if (std::filesystem::create_directory(path))
      FPath = path;
  }
  if (FPath.empty())
    throw std::runtime_error("no temporary folder");
}
#else
TTempDir::TTempDir()
{
  std::string pattern = (std::filesystem::temp_directory_path() / "praatkist-test.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}
#endif

TTempDir::~TTempDir()
{
  std::error_code ec;
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FPath, ec);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path &path, const void *data, std::size_t size)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
}

std::uint32_t Le32(const std::vector<std::uint8_t> &b, std::size_t at)
{
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
         std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}

std::uint16_t Le16(const std::vector<std::uint8_t> &b, std::size_t at)
{
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

bool IgnoresPermissions()
{
#ifdef _WIN32
  return true; // read-only folder attributes do not keep files from being made there
#else
  return ::geteuid() == 0;
#endif
}

} // namespace praatkist::test
