#pragma once
// The program's version as shown in the about window: four 16-bit parts,
// "major.minor.patch.build", taken from the version the build was made with.

#include <string>
#include <string_view>

namespace praatkist::platform {

// The version a build without a version of its own reports.
inline constexpr std::string_view DefaultVersionText = "1.0.0.0";

// Turns a version as the build system writes it ("0.1", "2.10.0.315") into the
// four-part text, each part in decimal without leading zeros; missing parts are 0.
// An empty text, more than four parts, or a part that is not a number from 0 to
// 65535 gives DefaultVersionText.
std::string VersionText(std::string_view ACompiled);

// The version this program was built with, as the build system passed it in
// (empty when none was).
std::string_view CompiledVersion();

// VersionText of CompiledVersion().
std::string ProgramVersionText();

} // namespace praatkist::platform
