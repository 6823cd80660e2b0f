#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace praatkist::platform {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b)
{
  if (a.size() == b.size() && a == b)
    return true;
  return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
             .compare(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())),
                      Qt::CaseInsensitive) == 0;
}

enum class TLineKind { Other, Section, Key };

struct TLineInfo {
  TLineKind Kind = TLineKind::Other;
  std::string_view Name;   // section or key name, blanks dropped
  std::size_t ValueAt = 0; // for a key: where the text after "=" starts in the line
};

TLineInfo Classify(std::string_view line)
{
  TLineInfo info;
  const std::string_view text = Trim(line);
  if (text.empty() || text.front() == ';')
    return info;
  if (text.front() == '[') {
    std::string_view name = text.substr(1);
    name = name.substr(0, name.find(']'));
    info.Kind = TLineKind::Section;
    info.Name = Trim(name);
    return info;
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos)
    return info;
  info.Kind = TLineKind::Key;
  info.Name = Trim(line.substr(0, equals));
  info.ValueAt = equals + 1;
  return info;
}

bool HasLineBreak(std::string_view text)
{
  return text.find_first_of("\r\n") != std::string_view::npos;
}

void CheckNames(std::string_view section, std::string_view key, std::string_view value)
{
  section = Trim(section);
  key = Trim(key);
  const bool bad = section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
                   HasLineBreak(value) || section.find(']') != std::string_view::npos ||
                   key.find('=') != std::string_view::npos || key.front() == '[' ||
                   key.front() == ';';
  if (bad)
    throw EInvalidArgument("Ongeldige sectie, sleutel of waarde voor het INI-bestand: [" +
                           std::string(section) + "] " + std::string(key) + ".");
}

// Strict decimal integer: optional sign, at least one digit, nothing else.
bool IsIntegerText(std::string_view text)
{
  if (!text.empty() && (text.front() == '+' || text.front() == '-'))
    text.remove_prefix(1);
  if (text.empty())
    return false;
  for (char c : text)
    if (c < '0' || c > '9')
      return false;
  return true;
}

std::filesystem::path TemporaryName(const std::filesystem::path &target)
{
  static const char hex[] = "0123456789abcdef";
  std::random_device random;
  std::uint32_t bits = random();
  std::string suffix = ".";
  for (int i = 0; i < 8; ++i, bits >>= 4)
    suffix += hex[bits & 15];
  suffix += ".tmp";
  std::filesystem::path name = target;
  name += suffix;
  return name;
}

#ifndef _WIN32

// Writes Data to a fresh temporary file beside Target, pushes it to the disk and renames
// it over Target. Failures raise EFileError naming Shown; the temporary file is removed.
void ReplaceFileDurably(const std::filesystem::path &target, const std::filesystem::path &shown,
                        const std::string &data)
{
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  std::filesystem::path temp;
  int handle = -1;
  for (int attempt = 0; attempt < 8 && handle < 0; ++attempt) {
    temp = TemporaryName(target);
    handle = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (handle < 0 && errno != EEXIST)
      break;
  }
  if (handle < 0) {
    const int error = errno;
    throw EFileError(std::string(std::strerror(error)) + ": " + PathText(shown));
  }

  auto fail = [&](bool opened) {
    const int error = errno;
    const std::string message = std::string(std::strerror(error)) + ": " + PathText(shown);
    if (opened)
      ::close(handle);
    ::unlink(temp.c_str());
    throw EFileError(message);
  };

  if (existed)
    ::fchmod(handle, old.st_mode & 07777); // keep the file's permissions; best effort
  const char *p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(handle, p, left);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n == 0)
        errno = EIO;
      fail(true);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(handle) != 0)
    fail(true);
  if (::close(handle) != 0)
    fail(false);
  if (::rename(temp.c_str(), target.c_str()) != 0)
    fail(false);

  // Make the rename itself durable; the data is safe either way, so errors are ignored.
  std::filesystem::path folder = target.parent_path();
  if (folder.empty())
    folder = ".";
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

#else

void ReplaceFileDurably(const std::filesystem::path &target, const std::filesystem::path &shown,
                        const std::string &data)
{
  const std::filesystem::path temp = TemporaryName(target);
  std::error_code ec;
  try {
    TWriteFile stream(temp, TWriteFile::cfReplace);
    stream.Write(data.data(), data.size());
    stream.Sync();
  } catch (...) {
    std::filesystem::remove(temp, ec);
    throw;
  }
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    const std::string message = ec.message() + ": " + PathText(shown);
    std::filesystem::remove(temp, ec);
    throw EFileError(message);
  }
}

#endif

} // namespace

TIniFile::TIniFile(std::filesystem::path fileName) : FFileName(std::move(fileName))
{
  std::string text;
  try {
    std::ifstream in(FFileName, std::ios::binary);
    if (!in)
      return;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
      return;
  } catch (const std::ios_base::failure &) {
    return; // a folder under that name, or a read error: as if there were no file
  }
  std::string_view rest = text;
  if (rest.substr(0, kBom.size()) == kBom) {
    FHasBom = true;
    rest.remove_prefix(kBom.size());
  }
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    FLines.emplace_back(line);
  }
}

bool TIniFile::FindSection(std::string_view section, std::size_t &header, std::size_t &end) const
{
  section = Trim(section);
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    const TLineInfo info = Classify(FLines[i]);
    if (info.Kind != TLineKind::Section || !SameName(info.Name, section))
      continue;
    header = i;
    end = i + 1;
    while (end < FLines.size() && Classify(FLines[end]).Kind != TLineKind::Section)
      ++end;
    return true;
  }
  return false;
}

bool TIniFile::FindKey(std::string_view section, std::string_view key, std::size_t &line) const
{
  std::size_t header = 0, end = 0;
  if (!FindSection(section, header, end))
    return false;
  key = Trim(key);
  for (std::size_t i = header + 1; i < end; ++i) {
    const TLineInfo info = Classify(FLines[i]);
    if (info.Kind == TLineKind::Key && SameName(info.Name, key)) {
      line = i;
      return true;
    }
  }
  return false;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const
{
  std::size_t line = 0;
  if (!FindKey(section, key, line))
    return std::string(def);
  const std::string_view text = FLines[line];
  return std::string(Trim(text.substr(Classify(text).ValueAt)));
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const
{
  const std::string text = ReadString(section, key, "");
  if (!IsIntegerText(text))
    return def;
  // Accumulate as a negative number so that the most negative value fits too.
  const bool negative = text.front() == '-';
  long long value = 0;
  for (char c : text) {
    if (c == '+' || c == '-')
      continue;
    value = value * 10 - (c - '0');
    if (value < -2147483648LL)
      return def;
  }
  if (!negative) {
    value = -value;
    if (value > 2147483647LL)
      return def;
  }
  return static_cast<int>(value);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
  // Any integer counts, however long: true unless every digit is 0.
  const std::string text = ReadString(section, key, "");
  if (!IsIntegerText(text))
    return def;
  return text.find_first_of("123456789") != std::string::npos;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const
{
  double value = def;
  if (!ParseNumberText(ReadString(section, key, ""), value))
    return def;
  return value;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
  CheckNames(section, key, value);
  std::size_t line = 0;
  if (FindKey(section, key, line)) {
    // Keep the key as spelt and the blanks after "="; replace only the value.
    std::string &text = FLines[line];
    std::size_t valueAt = Classify(text).ValueAt;
    while (valueAt < text.size() && IsBlank(text[valueAt]))
      ++valueAt;
    text.replace(valueAt, std::string::npos, value);
    return;
  }

  const std::string newLine = std::string(Trim(key)) + "=" + std::string(value);
  std::size_t header = 0, end = 0;
  if (FindSection(section, header, end)) {
    std::size_t at = header + 1;
    for (std::size_t i = header + 1; i < end; ++i)
      if (Classify(FLines[i]).Kind == TLineKind::Key)
        at = i + 1;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), newLine);
    return;
  }
  // appended piece by piece: GCC 12 warns falsely about "[" + ... + "]" at -O3
  std::string sectionLine;
  sectionLine.append(1, '[').append(Trim(section)).append(1, ']');
  FLines.push_back(std::move(sectionLine));
  FLines.push_back(newLine);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value,
                          char decimalSeparator)
{
  WriteString(section, key, FormatNumberText(value, decimalSeparator));
}

std::string TIniFile::Text() const
{
  std::string data;
  if (FHasBom)
    data += kBom;
  for (const std::string &line : FLines) {
    data += line;
    data += "\r\n";
  }
  return data;
}

void TIniFile::UpdateFile()
{
  const std::string data = Text();

  // Through a symbolic link, replace the file it points to and keep the link.
  std::filesystem::path target = FFileName;
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
    if (!ec)
      target = resolved;
  }
  ReplaceFileDurably(target, FFileName, data);
}

} // namespace praatkist::platform
