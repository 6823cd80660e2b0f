#include "platform/VersionInfo.h"

#include <array>
#include <charconv>

#ifndef PRAATKIST_VERSION
#define PRAATKIST_VERSION ""
#endif

namespace praatkist::platform {

std::string VersionText(std::string_view ACompiled)
{
  if (ACompiled.empty())
    return std::string(DefaultVersionText);
  std::array<unsigned, 4> parts{};
  std::size_t count = 0;
  std::string_view rest = ACompiled;
  while (true) {
    const std::size_t dot = rest.find('.');
    const std::string_view part = rest.substr(0, dot);
    if (count == parts.size() || part.empty())
      return std::string(DefaultVersionText);
    unsigned value = 0;
    const auto [end, err] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (err != std::errc() || end != part.data() + part.size() || value > 0xFFFF)
      return std::string(DefaultVersionText);
    parts[count++] = value;
    if (dot == std::string_view::npos)
      break;
    rest.remove_prefix(dot + 1);
  }
  return std::to_string(parts[0]) + '.' + std::to_string(parts[1]) + '.' +
         std::to_string(parts[2]) + '.' + std::to_string(parts[3]);
}

std::string_view CompiledVersion()
{
  return PRAATKIST_VERSION;
}

std::string ProgramVersionText()
{
  return VersionText(CompiledVersion());
}

} // namespace praatkist::platform
