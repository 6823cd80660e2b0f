#include "ui/window/MainSettings.h"

#include <QStringList>

#include <algorithm>
#include <string>
#include <cmath>

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "ui/flow/ErrorText.h"

namespace praatkist::ui {

namespace {

constexpr const char *SecSessions = "Sessies";
constexpr const char *SecRecording = "Opname";
constexpr const char *KeyRoot = "Hoofdmap";
constexpr const char *KeyFormat = "Formaat";
constexpr const char *KeyRate = "Samplerate";
constexpr const char *KeyBitrate = "BitrateIndex";
constexpr const char *KeyDevice = "Geluidsingang";
constexpr const char *KeyTrim = "StiltesTrimmen";
constexpr const char *KeyMono = "Mono";
constexpr const char *KeyPreRoll = "Vooropname";
constexpr const char *KeyPreRollMs = "VoorloopMs";
constexpr const char *KeyNextAfterTake = "NaOpnameVolgendeTekst";
constexpr const char *KeyHandsFree = "Handsfree";
constexpr const char *KeySpeechThreshold = "SpraakDrempelDb";
constexpr const char *KeySilenceMs = "StilteMs";
constexpr const char *KeySpeakerScreen = "TekstOpTweedeScherm";
constexpr const char *SecExport = "Export";
constexpr const char *KeySkipRemarked = "OpmerkingenOverslaan";
constexpr const char *KeyTrimToMargin = "StilteInkorten";
constexpr const char *KeyMarginMs = "MargeMs";
constexpr const char *KeyEvenLoudness = "LuidheidGelijk";
constexpr const char *KeyLoudnessLufs = "LuidheidLufs";
constexpr const char *KeyFileFormat = "Bestandsformaat";
constexpr const char *Absent = "\x01";

QString Read(const platform::TIniFile &AIni, const char *ASection, const char *AKey,
             const char *ADefault)
{
  return QString::fromStdString(AIni.ReadString(ASection, AKey, ADefault));
}

} // namespace

TMainSettings TMainSettings::Load(const platform::TIniFile &AIni)
{
  TMainSettings s;
  s.Root = Read(AIni, SecSessions, KeyRoot, "");
  s.Format = AIni.ReadInteger(SecRecording, KeyFormat, 0);
  s.Rate = Read(AIni, SecRecording, KeyRate, std::to_string(kDefaultSampleRate).c_str());
  s.BitrateIndex = AIni.ReadInteger(SecRecording, KeyBitrate, 1);
  s.Device = Read(AIni, SecRecording, KeyDevice, "");
  s.TrimSilence = AIni.ReadBool(SecRecording, KeyTrim, false);
  s.Mono = AIni.ReadBool(SecRecording, KeyMono, false);
  s.PreRoll = AIni.ReadBool(SecRecording, KeyPreRoll, false);
  s.PreRollMs = std::clamp(AIni.ReadInteger(SecRecording, KeyPreRollMs, kDefaultPreRollMs), 0,
                           kMaxPreRollMs);
  if (AIni.ReadString(SecRecording, KeyNextAfterTake, "\x01") != "\x01")
    s.NextAfterTake = AIni.ReadBool(SecRecording, KeyNextAfterTake, false);
  if (AIni.ReadString(SecRecording, KeyHandsFree, Absent) != Absent)
    s.HandsFree = AIni.ReadBool(SecRecording, KeyHandsFree, false);
  // The speech detector's two numbers: clamped into their range, and said once.
  QStringList clamped;
  const auto number = [&](const char *AKey, double AMin, double AMax, double ADefault,
                          const QString &AUnit) -> std::optional<double> {
    const std::string text = AIni.ReadString(SecRecording, AKey, Absent);
    if (text == Absent)
      return std::nullopt;
    bool ok = false;
    const double read = QString::fromStdString(text).trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    const double used = !ok || !std::isfinite(read) ? ADefault : std::clamp(read, AMin, AMax);
    if (!ok || used != read)
      clamped << QStringLiteral("%1 gebruikt %2 %3 (toegestaan: %4 tot %5)")
                     .arg(QString::fromLatin1(AKey), QString::number(used), AUnit,
                          QString::number(AMin), QString::number(AMax));
    return used;
  };
  s.SpeechThresholdDb = number(KeySpeechThreshold, audio::kMinSpeechThresholdDb,
                               audio::kMaxSpeechThresholdDb, audio::kDefaultSpeechThresholdDb,
                               QStringLiteral("dB"));
  if (const auto silence = number(KeySilenceMs, audio::kMinSpeechSilenceMs, audio::kMaxSpeechSilenceMs,
                                  audio::kDefaultSpeechSilenceMs, QStringLiteral("ms")))
    s.SilenceMs = static_cast<int>(std::lround(*silence));
  if (!clamped.isEmpty())
    s.RangeNote = QStringLiteral("Instelling buiten bereik: ") + clamped.join(QStringLiteral("; ")) +
                  QLatin1Char('.');
  if (AIni.ReadString(SecRecording, KeySpeakerScreen, Absent) != Absent)
    s.SpeakerScreen = AIni.ReadBool(SecRecording, KeySpeakerScreen, false);
  const auto present = [&](const char *AKey) {
    return AIni.ReadString(SecExport, AKey, Absent) != Absent;
  };
  TExportSettings &e = s.Export;
  if (present(KeySkipRemarked))
    e.SkipRemarked = AIni.ReadBool(SecExport, KeySkipRemarked, false);
  if (present(KeyTrimToMargin))
    e.TrimToMargin = AIni.ReadBool(SecExport, KeyTrimToMargin, false);
  if (present(KeyMarginMs))
    e.MarginMs = std::clamp(AIni.ReadInteger(SecExport, KeyMarginMs, 200), 0, 2000);
  if (present(KeyEvenLoudness))
    e.EvenLoudness = AIni.ReadBool(SecExport, KeyEvenLoudness, false);
  if (present(KeyLoudnessLufs))
    e.LoudnessLufs = std::clamp(AIni.ReadInteger(SecExport, KeyLoudnessLufs, -23), -40, -10);
  if (const std::string format = AIni.ReadString(SecExport, KeyFileFormat, "");
      format == "flac" || format == "wav")
    e.Flac = format == "flac";
  s.Keys = TCommandKeys::Load(AIni);
  return s;
}

void TMainSettings::Save(platform::TIniFile &AIni, bool AOptions, const QString &APathShown) const
{
  QStringList written;
  QStringList notKept;
  const auto put = [&](const char *ASection, const char *AKey, const QString &AValue) {
    // A line break would split the line and other control characters would not come
    // back as written: such a value is not kept.
    for (const QChar c : AValue)
      if (c.unicode() < 32 || c.unicode() == 127) {
        notKept << QString::fromLatin1(AKey);
        return;
      }
    try {
      AIni.WriteString(ASection, AKey, AValue.toStdString());
      written << QString::fromLatin1(AKey);
    } catch (const std::exception &) {
      notKept << QString::fromLatin1(AKey);
    }
  };
  const auto flag = [](bool AOn) { return AOn ? QStringLiteral("1") : QStringLiteral("0"); };
  if (Root)
    put(SecSessions, KeyRoot, *Root);
  if (AOptions) {
    put(SecRecording, KeyFormat, QString::number(Format));
    put(SecRecording, KeyRate, Rate);
    put(SecRecording, KeyBitrate, QString::number(BitrateIndex));
    if (Device)
      put(SecRecording, KeyDevice, *Device);
    put(SecRecording, KeyTrim, flag(TrimSilence));
    put(SecRecording, KeyMono, flag(Mono));
    put(SecRecording, KeyPreRoll, flag(PreRoll));
    put(SecRecording, KeyPreRollMs, QString::number(std::clamp(PreRollMs, 0, kMaxPreRollMs)));
    if (NextAfterTake)
      put(SecRecording, KeyNextAfterTake, flag(*NextAfterTake));
    if (HandsFree)
      put(SecRecording, KeyHandsFree, flag(*HandsFree));
    if (SpeechThresholdDb)
      put(SecRecording, KeySpeechThreshold, QString::number(*SpeechThresholdDb));
    if (SilenceMs)
      put(SecRecording, KeySilenceMs, QString::number(*SilenceMs));
    if (SpeakerScreen)
      put(SecRecording, KeySpeakerScreen, flag(*SpeakerScreen));
  }
  // The user's own choices in the export question: kept whatever else is.
  if (Export.SkipRemarked)
    put(SecExport, KeySkipRemarked, flag(*Export.SkipRemarked));
  if (Export.TrimToMargin)
    put(SecExport, KeyTrimToMargin, flag(*Export.TrimToMargin));
  if (Export.MarginMs)
    put(SecExport, KeyMarginMs, QString::number(*Export.MarginMs));
  if (Export.EvenLoudness)
    put(SecExport, KeyEvenLoudness, flag(*Export.EvenLoudness));
  if (Export.LoudnessLufs)
    put(SecExport, KeyLoudnessLufs, QString::number(*Export.LoudnessLufs));
  if (Export.Flac)
    put(SecExport, KeyFileFormat, *Export.Flac ? QStringLiteral("flac") : QStringLiteral("wav"));
  Keys.Write(AIni, written, notKept);
  QString why;
  try {
    AIni.UpdateFile();
  } catch (const std::exception &e) {
    notKept = written + notKept;
    why = QLatin1Char(' ') + ErrorText(e);
  }
  if (!notKept.isEmpty())
    throw EFileError(QStringLiteral("Niet bewaard in \"%1\": %2.%3")
                         .arg(APathShown, notKept.join(QStringLiteral(", ")), why)
                         .toStdString());
}

} // namespace praatkist::ui
