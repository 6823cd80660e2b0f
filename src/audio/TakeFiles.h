#pragma once
// Names of the companion files that lie beside a take while it is trimmed or can be
// untrimmed. Interview-3.wav has:
//   Interview-3.wav.untrimmed   the take as it was before the last trim (backup)
//   Interview-3.wav.triminfo    how much the last trim cut at each end (trim record)
//   Interview-3.trimtmp.wav     the trimmed take while it is being written

#include <filesystem>

namespace praatkist::audio {

std::filesystem::path BackupPath(const std::filesystem::path& take);
std::filesystem::path TrimRecordPath(const std::filesystem::path& take);
std::filesystem::path TrimTempPath(const std::filesystem::path& take);

} // namespace praatkist::audio
