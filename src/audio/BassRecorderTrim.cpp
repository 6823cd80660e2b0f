// Trimming silence off a take, its trim record and undo: the engine's work on files.
//
// A trim never writes into the take. The new take, the backup and the record are made
// under temporary names, each pushed to the disk, and then renamed into place in an
// order that keeps the folder telling the truth at every instant, whatever moment a
// crash or a power cut picks:
//   1. the backup (a second name for the take, or a complete copy) replaces any old one,
//      after an old record has gone: the take with a backup of itself and no record;
//   2. the new record, naming the new take by size and modification time, is renamed
//      into place: it does not fit the old take, so it counts for nothing yet;
//   3. the folder is synced, then the new take is renamed over the old one: from this
//      rename on the take, its backup and its record belong together.
// Until step 3 the old take is untouched and any failure or cancel leaves it so.

#include "audio/BassRecorder.h"

#include "audio/Peaks.h"
#include "audio/TakeFiles.h"
#include "audio/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

namespace praatkist {

using namespace audio;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kReadBlock = 65536;
// A sample is sound when its magnitude is above this (about 45 dB below full scale).
constexpr std::int32_t kLoudness = 184;
constexpr double kMinimumTrim = 0.05;
// Kernel copies go in steps of this many bytes, so that progress and a cancel are seen.
constexpr std::uint64_t kCopyStep = 64u << 20;

constexpr const char *kSection = "Trim";
// The trimmed take a record belongs to: its size in bytes and its modification time in
// nanoseconds since 1970. Records written before these keys existed have neither.
constexpr const char *kTakeSizeKey = "TakeSize";
constexpr const char *kTakeTimeKey = "TakeModified";

// Index of the first (or last) sample in Data[0 .. Count) louder than kLoudness, or -1.
std::int64_t FirstLoud(const std::int16_t *data, std::size_t count) noexcept
{
  for (std::size_t i = 0; i < count; ++i)
    if (Magnitude(data[i]) > kLoudness)
      return static_cast<std::int64_t>(i);
  return -1;
}

std::int64_t LastLoud(const std::int16_t *data, std::size_t count) noexcept
{
  for (std::size_t i = count; i > 0; --i)
    if (Magnitude(data[i - 1]) > kLoudness)
      return static_cast<std::int64_t>(i - 1);
  return -1;
}

bool AnyLoud(const std::int16_t *data, std::size_t count) noexcept
{
  std::int32_t peak = 0, unused = 0;
  BufferPeaks(reinterpret_cast<const std::uint8_t *>(data), static_cast<std::uint32_t>(count * 2),
              1, peak, unused);
  return peak > kLoudness;
}

// The offset in File from which its bytes are exactly the samples the decoder delivers:
// a 16-bit integer PCM WAV whose header agrees with the decoder on rate, channels and
// length. None for anything else (MP3, other sample formats, a header that disagrees).
std::optional<std::uint64_t> PlainSampleOffset(const fs::path &file, const TChannelInfo &info,
                                               std::uint64_t length, void *scratch,
                                               std::size_t scratchSize) noexcept
{
  try {
    platform::TReadFile f(file);
    const std::size_t n = f.ReadAt(0, scratch, scratchSize);
    TWaveLayout layout;
    if (!ParseWaveLayout(static_cast<const std::uint8_t *>(scratch), n, layout))
      return std::nullopt;
    if (layout.FormatTag != 1 || layout.BitsPerSample != 16 || layout.Channels == 0 ||
        layout.Channels != info.Chans || layout.SampleRate != info.Freq)
      return std::nullopt;
    const std::uint64_t size = f.Size();
    if (size < layout.DataOffset)
      return std::nullopt;
    const std::uint64_t frameBytes = 2ull * layout.Channels;
    std::uint64_t samples = std::min<std::uint64_t>(layout.DataBytes, size - layout.DataOffset);
    samples -= samples % frameBytes;
    if (samples != length)
      return std::nullopt;
    return layout.DataOffset;
  } catch (...) {
    return std::nullopt;
  }
}

// Releases what a rewrite holds open, on every way out.
struct TRewriteHandles {
  explicit TRewriteHandles(IAudioLayer &layer, THandle stream = 0) : Layer(layer), Stream(stream) {}
  TRewriteHandles(const TRewriteHandles &) = delete;
  TRewriteHandles &operator=(const TRewriteHandles &) = delete;
  IAudioLayer &Layer;
  THandle Stream = 0;
  THandle Encoder = 0;
  std::unique_ptr<platform::TNewFile> Out;
  ~TRewriteHandles() { Release(); }
  void Release() noexcept
  {
    if (Encoder != 0)
      Layer.EncodeStop(Encoder);
    Encoder = 0;
    Out.reset();
    if (Stream != 0)
      Layer.StreamFree(Stream);
    Stream = 0;
  }
};

bool ParseWhole(const std::string &text, auto &value) noexcept
{
  const char *end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

// The record names this very take, or names none (written before records did).
bool RecordFitsTake(const platform::TIniFile &record, const fs::path &take)
{
  const std::string size = record.ReadString(kSection, kTakeSizeKey, "");
  const std::string time = record.ReadString(kSection, kTakeTimeKey, "");
  if (size.empty() && time.empty())
    return true;
  std::uint64_t recordedSize = 0;
  std::int64_t recordedTime = 0;
  platform::TFileIdentity now;
  return ParseWhole(size, recordedSize) && ParseWhole(time, recordedTime) &&
         platform::GetFileIdentity(take, now) && now.Size == recordedSize &&
         now.ModifiedNs == recordedTime;
}

// Removes a leftover of an interrupted trim at Path, if there is one.
void ClearLeftover(const fs::path &path)
{
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() != fs::file_type::not_found)
    platform::DeleteFileOrRaise(path);
}

} // namespace

bool TBassRecorder::TrimSilence(const fs::path &FileName, TRecordingFormat AFormat, int Bitrate,
                                double &TrimmedStart, double &TrimmedEnd, TWorkControl *Control)
{
  // Scanning is the first half of the work, rewriting the second.
  const auto step = [Control](double fraction) {
    if (Control == nullptr)
      return;
    if (Control->Cancelled())
      throw EWorkCancelled();
    Control->Report(fraction);
  };
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;

  // ---- find the first and the last frame that carry sound ----
  std::vector<std::int16_t> block(kReadBlock / 2);
  auto *bytes = reinterpret_cast<std::uint8_t *>(block.data());
  std::uint32_t rate = 0, channels = 1;
  std::int64_t totalFrames = 0, firstLoud = -1, lastLoud = -1;
  TChannelInfo info;
  std::uint64_t length = kPositionError;
  std::optional<std::uint64_t> plainOffset;
  {
    const THandle stream = FLayer.StreamCreateFile(FileName, true);
    CheckBass(FLayer, stream != 0, "Zoeken naar stiltes");
    TRewriteHandles guard(FLayer, stream);
    CheckBass(FLayer, FLayer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
    rate = info.Freq;
    channels = info.Chans == 0 ? 1 : info.Chans;
    const std::uint64_t frameBytes = 2ull * channels;
    length = FLayer.ChannelGetLength(stream);
    const double lengthSamples = length == kPositionError || length == 0 ? 0.0 : length / 2.0;
    if (length != kPositionError)
      plainOffset = PlainSampleOffset(FileName, info, length, bytes, kReadBlock);

    // Reads on from the stream's position (sample Samples), block by block, up to the
    // end of the data or a read error, which ends the scan the same way. With StopAtSound
    // it stops after the first block with sound in it.
    std::int64_t samples = 0;
    const auto scanForward = [&](bool stopAtSound) {
      for (;;) {
        step(lengthSamples > 0 ? 0.5 * static_cast<double>(samples) / lengthSamples : 0.0);
        const std::uint32_t got = FLayer.ChannelGetData(stream, bytes, kReadBlock);
        if (got == 0 || got == kDataError)
          return;
        const std::size_t n = got / 2;
        const bool loud = AnyLoud(block.data(), n); // most blocks are all silence or sound
        if (loud) {
          if (firstLoud < 0)
            firstLoud = (samples + FirstLoud(block.data(), n)) / channels;
          lastLoud = (samples + LastLoud(block.data(), n)) / channels;
        }
        samples += static_cast<std::int64_t>(n);
        if (loud && stopAtSound)
          return;
      }
    };

    // Where the samples are the file's own bytes, only the two ends need reading: from
    // the start up to the first sound, and from the end back to the last.
    bool fromBothEnds = plainOffset.has_value() && length % frameBytes == 0;
    scanForward(fromBothEnds);
    if (fromBothEnds && firstLoud >= 0) {
      const std::uint64_t scanned = static_cast<std::uint64_t>(samples) * 2;
      const std::uint64_t floor = scanned - scanned % frameBytes;
      const std::uint64_t stride = kReadBlock - kReadBlock % frameBytes;
      std::uint64_t hi = length;
      while (hi > floor) {
        step(0.5 * static_cast<double>(scanned + (length - hi)) / (2.0 * lengthSamples));
        const std::uint64_t lo = hi - std::min(stride, hi - floor);
        const auto want = static_cast<std::uint32_t>(hi - lo);
        std::uint32_t have = 0;
        if (FLayer.ChannelSetPosition(stream, lo)) {
          while (have < want) {
            const std::uint32_t got = FLayer.ChannelGetData(stream, bytes + have, want - have);
            if (got == 0 || got == kDataError)
              break;
            have += got;
          }
        }
        if (have < want) {
          // The decoder does not give the end as it should: read it all from the start,
          // so that the result is what one pass over the take gives.
          fromBothEnds = false;
          break;
        }
        const std::int64_t at = LastLoud(block.data(), want / 2);
        if (at >= 0) {
          lastLoud = std::max<std::int64_t>(lastLoud, (static_cast<std::int64_t>(lo / 2) + at) /
                                                          static_cast<std::int64_t>(channels));
          break;
        }
        hi = lo;
      }
      if (!fromBothEnds) {
        firstLoud = lastLoud = -1;
        samples = 0;
        CheckBass(FLayer, FLayer.ChannelSetPosition(stream, 0), "Zoeken naar stiltes");
        scanForward(false);
      }
    }
    // A length the decoder cannot tell: go by what it delivered.
    const std::uint64_t frames = length == kPositionError
                                     ? static_cast<std::uint64_t>(samples) / channels
                                     : length / frameBytes;
    totalFrames = static_cast<std::int64_t>(std::min<std::uint64_t>(frames, INT64_MAX));
  }

  // ---- cut points ----
  // Sound found only past the reported length cannot be cut to; nor can a rate of 0.
  if (firstLoud < 0 || totalFrames <= 0 || rate == 0 || firstLoud >= totalFrames)
    return false;
  const std::int64_t margin = rate / 10;
  const std::int64_t start = std::max<std::int64_t>(firstLoud - margin, 0);
  const std::int64_t end = std::min<std::int64_t>(lastLoud + margin + 1, totalFrames);
  TrimmedStart = static_cast<double>(start) / rate;
  TrimmedEnd = static_cast<double>(totalFrames - end) / rate;
  if (TrimmedStart < kMinimumTrim && TrimmedEnd < kMinimumTrim)
    return false;

  const fs::path folder = FileName.parent_path();
  const fs::path backup = BackupPath(FileName);
  const fs::path backupTemp = BackupTempPath(FileName);
  const fs::path temp = TrimTempPath(FileName);
  const fs::path record = TrimRecordPath(FileName);
  const fs::path recordTemp = RecordTempPath(FileName);

  // ---- backup: the take as it is, before anything else is written ----
  // An old record goes first (its other lines are kept for the new one): it must never
  // describe a backup that has just been replaced.
  platform::TIniFile recordText(record);
  const bool hadBackup = platform::FileExists(backup);
  ClearLeftover(backupTemp);
  platform::SnapshotFileOrRaise(FileName, backupTemp);
  try {
    if (platform::FileExists(record))
      platform::DeleteFileOrRaise(record);
    platform::ReplaceFileOrRaise(backupTemp, backup);
  } catch (...) {
    platform::DeleteFileQuietly(backupTemp);
    throw;
  }
  ClearLeftover(temp);

  // ---- the new take, written beside the old one, then its record ----
  TRewriteHandles h(FLayer);
  bool recordPlaced = false;
  const auto cleanUp = [&] {
    h.Release();
    platform::DeleteFileQuietly(temp);
    platform::DeleteFileQuietly(recordTemp);
    if (recordPlaced)
      platform::DeleteFileQuietly(record);
    // Taken away meanwhile by someone else: the take as recorded comes back.
    if (!platform::FileExists(FileName) && platform::FileExists(backup)) {
      try {
        platform::SnapshotFileOrRaise(backup, FileName);
      } catch (...) {
      }
    }
  };
  try {
    // The rewrite reads the backup, which must open as the take did.
    h.Stream = FLayer.StreamCreateFile(backup, true);
    CheckBass(FLayer, h.Stream != 0, "Openen van herstelkopie");
    const std::uint64_t frameBytes = 2ull * channels;
    const std::uint64_t startByte = static_cast<std::uint64_t>(start) * frameBytes;
    std::uint64_t wanted = static_cast<std::uint64_t>(end - start) * frameBytes;
    CheckBass(FLayer, FLayer.ChannelSetPosition(h.Stream, startByte), "Positioneren voor trimmen");

    if (AFormat == rfMP3) {
      h.Encoder = FLayer.EncodeMp3Start(h.Stream, Bitrate, temp, false);
      CheckBass(FLayer, h.Encoder != 0, "Starten van MP3-trimmer");
    } else {
      // The RIFF size (data + 36) must fit in its 32 bits as well.
      if (wanted > std::min(FWaveDataLimit, kMaxWaveDataBytes))
        throw EInvalidOperation("De WAV-opname is te groot om te trimmen.");
      h.Out = std::make_unique<platform::TNewFile>(temp);
      const TWaveHeader header = BuildWaveHeader(static_cast<std::uint32_t>(wanted), rate,
                                                 static_cast<std::uint16_t>(channels));
      h.Out->Write(header.data(), header.size());
    }

    const double rewrite = static_cast<double>(wanted);
    const auto progress = [&] { step(0.5 + 0.5 * (1.0 - static_cast<double>(wanted) / rewrite)); };
    const std::optional<std::uint64_t> backupOffset =
        h.Out && plainOffset ? PlainSampleOffset(backup, info, length, bytes, kReadBlock)
                             : std::nullopt;
    if (backupOffset && backupOffset == plainOffset) {
      // The kept samples are a byte range of the backup: the kernel copies it.
      platform::TReadFile source(backup);
      std::uint64_t at = *backupOffset + startByte;
      while (wanted != 0) {
        progress();
        const std::uint64_t n =
            h.Out->CopyFrom(source, at, std::min(wanted, kCopyStep), bytes, kReadBlock);
        if (n == 0)
          break;
        at += n;
        wanted -= n;
      }
    } else {
      while (wanted != 0) {
        progress();
        const auto ask = static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadBlock, wanted));
        const std::uint32_t got = FLayer.ChannelGetData(h.Stream, bytes, ask);
        if (got == 0 || got == kDataError)
          break;
        if (h.Out)
          h.Out->Write(bytes, got);
        wanted -= std::min<std::uint64_t>(got, wanted);
      }
    }

    if (h.Encoder != 0) {
      // An encoder that stopped by itself could not write its file; one whose last
      // bytes, tag or close failed left a damaged one.
      const bool running = FLayer.EncodeIsActive(h.Encoder);
      const bool finished = FLayer.EncodeStop(h.Encoder);
      h.Encoder = 0;
      if (!running || !finished)
        throw EFileError("Het MP3-bestand kon niet worden geschreven: " + platform::PathText(temp));
    }
    FLayer.StreamFree(h.Stream);
    h.Stream = 0;
    if (wanted != 0)
      throw EPraatkistError("De opname kon niet volledig worden getrimd.");
    // On the disk before anything points at it.
    if (h.Out) {
      h.Out->Sync();
      h.Out->Close();
      h.Out.reset();
    } else {
      platform::SyncFileOrRaise(temp);
    }
    step(1.0); // the last moment a cancel is honoured

    platform::TFileIdentity trimmed;
    if (!platform::GetFileIdentity(temp, trimmed))
      throw EFileError(platform::SystemErrorText(temp));
    const char separator = platform::UserDecimalSeparator();
    recordText.WriteFloat(kSection, "StartSeconds", TrimmedStart, separator);
    recordText.WriteFloat(kSection, "EndSeconds", TrimmedEnd, separator);
    recordText.WriteString(kSection, kTakeSizeKey, std::to_string(trimmed.Size));
    recordText.WriteString(kSection, kTakeTimeKey, std::to_string(trimmed.ModifiedNs));
    const std::string text = recordText.Text();
    ClearLeftover(recordTemp);
    {
      platform::TNewFile out(recordTemp);
      out.Write(text.data(), text.size());
      out.Sync();
      out.Close();
    }

    // ---- into place: the record first (it fits no take yet), then the take ----
    platform::ReplaceFileOrRaise(recordTemp, record);
    recordPlaced = true;
    platform::SyncFolderOrRaise(folder);
    platform::ReplaceFileOrRaise(temp, FileName);
  } catch (const EWorkCancelled &) {
    cleanUp();
    // Asked for: the backup this trim made (a second name of the untouched take) goes
    // too, so that the folder is as it was.
    if (!hadBackup && platform::SameFile(backup, FileName))
      platform::DeleteFileQuietly(backup);
    throw;
  } catch (...) {
    cleanUp();
    throw;
  }
  // The trim has happened; the new names reach the disk now, and a failure to push them
  // there cannot be undone by anything done here.
  platform::SyncFolderQuietly(folder);

  // The record holds 15 significant digits; hand back exactly what it says, so that
  // the caller and a later reading of the record agree to the last bit.
  const char separator = platform::UserDecimalSeparator();
  for (double *amount : {&TrimmedStart, &TrimmedEnd})
    platform::ParseNumberText(platform::FormatNumberText(*amount, separator), *amount);
  return true;
}

bool TBassRecorder::ReadTrimInfo(const fs::path &FileName, double &TrimmedStart, double &TrimmedEnd)
{
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;
  if (!platform::FileExists(BackupPath(FileName)) ||
      !platform::FileExists(TrimRecordPath(FileName)))
    return false;
  const platform::TIniFile record(TrimRecordPath(FileName));
  // A record of another take (one removed, or changed since) says nothing of this one.
  if (!RecordFitsTake(record, FileName))
    return false;
  TrimmedStart = record.ReadFloat(kSection, "StartSeconds", 0.0);
  TrimmedEnd = record.ReadFloat(kSection, "EndSeconds", 0.0);
  return true;
}

bool TBassRecorder::UndoTrim(const fs::path &FileName)
{
  const fs::path backup = BackupPath(FileName);
  const fs::path record = TrimRecordPath(FileName);
  if (!platform::FileExists(backup))
    return false;
  const bool haveTake = platform::FileExists(FileName);
  if (haveTake && platform::SameFile(backup, FileName)) {
    // Left by a trim that failed after its backup was made: the take is still the
    // backup itself, so only the second name goes.
    platform::DeleteFileOrRaise(backup);
  } else {
    // Never put a backup over a take that its record does not name.
    if (haveTake && platform::FileExists(record) &&
        !RecordFitsTake(platform::TIniFile(record), FileName))
      return false;
    // The backup takes the take's place in one rename, whether the take is there or not.
    platform::ReplaceFileOrRaise(backup, FileName);
  }
  if (platform::FileExists(record))
    platform::DeleteFileOrRaise(record);
  platform::SyncFolderQuietly(FileName.parent_path());
  return true;
}

} // namespace praatkist
