#pragma once
// The window's texts become file-system paths the same way everywhere: UTF-16 on
// Windows, UTF-8 elsewhere.

#include <QString>

#include <filesystem>

namespace praatkist::ui {

inline std::filesystem::path ToPath(const QString &AText)
{
#ifdef _WIN32
  return std::filesystem::path(AText.toStdWString());
#else
  return std::filesystem::path(AText.toStdString());
#endif
}

// And back: the text of a path, as the window writes paths.
inline QString FromPath(const std::filesystem::path &APath)
{
#ifdef _WIN32
  return QString::fromStdWString(APath.native());
#else
  return QString::fromStdString(APath.native());
#endif
}

} // namespace praatkist::ui
