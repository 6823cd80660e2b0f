#pragma once
// An exception's message as the window shows it: the engine and the platform raise
// their texts in UTF-8.

#include <QString>

#include <exception>

#include "audio/TakeResults.h"

namespace praatkist::ui {

inline QString ErrorText(const std::exception &AError)
{
  return QString::fromUtf8(AError.what());
}

// What the user is told of a take that ended by itself; empty while it runs on.
inline QString CaptureEndText(TCaptureEnd AEnd)
{
  switch (AEnd) {
  case TCaptureEnd::DeviceLost:
    return QStringLiteral("Opname gestopt: de audio-ingang is weggevallen.");
  case TCaptureEnd::WriteFailed:
    return QStringLiteral("Opname gestopt: het bestand kon niet verder worden geschreven.");
  case TCaptureEnd::SizeLimit:
    return QStringLiteral("Opname gestopt: de maximale grootte van een WAV-bestand is bereikt.");
  case TCaptureEnd::TooSlow:
    return QStringLiteral("Opname gestopt: het bestand kon niet snel genoeg worden geschreven.");
  case TCaptureEnd::None:
    break;
  }
  return {};
}

} // namespace praatkist::ui
