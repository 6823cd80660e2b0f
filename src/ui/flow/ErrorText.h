#pragma once
// An exception's message as the window shows it: the engine and the platform raise
// their texts in UTF-8.

#include <QString>

#include <exception>

namespace praatkist::ui {

inline QString ErrorText(const std::exception &AError)
{
  return QString::fromUtf8(AError.what());
}

} // namespace praatkist::ui
