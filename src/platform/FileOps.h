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
// Makes To an unchanging copy of From as it is now, for a caller that will only ever
// replace From by renaming another file over it (never write into it): a second name
// for the same data where the file system has hard links (instant, no space), a
// byte-for-byte copy where it has not. To must not exist.
void SnapshotFileOrRaise(const std::filesystem::path& from, const std::filesystem::path& to);
// Renames From to To in one step, replacing To if it exists (atomic within one file
// system): there is no moment without a file at To.
void ReplaceFileOrRaise(const std::filesystem::path& from, const std::filesystem::path& to);

// Clean-up helpers: they try and say whether it worked.
bool DeleteFileQuietly(const std::filesystem::path& path) noexcept;
bool CopyFileQuietly(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

} // namespace praatkist::platform
