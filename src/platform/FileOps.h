#pragma once
// File operations on single files that raise EFileError ("<system text>: <path>") on
// failure, and quiet variants for clean-up paths that must not raise.

#include <filesystem>

namespace praatkist::platform {

// A regular file (not a folder) exists at Path.
bool FileExists(const std::filesystem::path& path) noexcept;
// Deletes the file at Path.
void DeleteFileOrRaise(const std::filesystem::path& path);
// Copies From to To, replacing To.
void CopyFileOrRaise(const std::filesystem::path& from, const std::filesystem::path& to);
// Renames From to To in one step, replacing To if it exists (atomic within one file
// system): there is no moment without a file at To.
void ReplaceFileOrRaise(const std::filesystem::path& from, const std::filesystem::path& to);

// Clean-up helpers: they try and say whether it worked.
bool DeleteFileQuietly(const std::filesystem::path& path) noexcept;
bool CopyFileQuietly(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

} // namespace praatkist::platform
