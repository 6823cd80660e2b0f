#pragma once
// An INI profile file (UTF-8 text): "[Section]" lines and "Key=Value" lines, as the
// settings file and the trim records use them.
//
// Reading follows the usual profile rules: section and key names are matched without
// regard to case; blanks (spaces, tabs) around names and values are dropped; the first
// section of a name and, within it, the first line of a key count, later duplicates are
// ignored; lines before the first section belong to none. Lines ending in LF or CR LF
// are both read.
//
// Writing changes the text held in memory only; UpdateFile puts it on disk, every line
// ending in CR LF. Everything the program does not write (comments, blank lines, other
// sections and keys, their order and spelling) stays as it was.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NumberText.h"

namespace praatkist::platform {

class TIniFile {
public:
  // Reads the file when it can; a missing or unreadable file gives an empty profile
  // and no error.
  explicit TIniFile(std::filesystem::path fileName);

  const std::filesystem::path &FileName() const noexcept { return FFileName; }

  // The key's value, blanks around it dropped; def when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // A decimal 32-bit integer with optional sign; def when missing or anything else.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // True for any non-zero integer, false for zero; def when missing or not an integer.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // A number in the forms ParseNumberText reads (either decimal separator); def when
  // missing, empty or not a number.
  double ReadFloat(std::string_view section, std::string_view key, double def) const;

  // Sets the key's value: in place when the key exists (its line keeps its position and
  // the key its spelling), else as a new line after the last key of the section, else
  // in a new section "[section]" at the end of the text.
  // Raises EInvalidArgument for an empty name, a line break anywhere, a section name
  // holding "]" or a key holding "=" or starting with "[" or ";", since those could not
  // be read back.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Decimal.
  void WriteInteger(std::string_view section, std::string_view key, int value);
  // "1" or "0".
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // FormatNumberText with the given separator.
  void WriteFloat(std::string_view section, std::string_view key, double value,
                  char decimalSeparator = UserDecimalSeparator());

  // The whole text as UpdateFile writes it, every line ending in CR LF.
  std::string Text() const;

  // Writes the whole text, every line ending in CR LF, to a temporary file in the same
  // folder, pushes it to the disk and then renames it over the file, so the file is
  // either the old one or the new one, never half written. Raises EFileError with the
  // system's text and the path on failure. Nothing is written without this call.
  void UpdateFile();

private:
  // Index of the section's header line and one past its last line; false when absent.
  bool FindSection(std::string_view section, std::size_t &header, std::size_t &end) const;
  // Index of the key's line within the section; false when absent.
  bool FindKey(std::string_view section, std::string_view key, std::size_t &line) const;

  std::filesystem::path FFileName;
  std::vector<std::string> FLines;
  bool FHasBom = false;
};

} // namespace praatkist::platform
