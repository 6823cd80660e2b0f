#pragma once
// The one writer of the program's WAV files: the take as it is captured, the trim's new
// take, a closed take given new markers or mended after a crash. Its file is always the
// 44-byte header (WavHeader), the samples, and after them at the end the markers'
// chunks (WavCues) where the RIFF size can cover them. Its data never grows past
// kMaxWaveDataBytes (or a lower limit), only by whole frames, and a write that fails is
// cut back to the last whole one, so that the header written at the end describes
// exactly the audio on disk. A new file is claimed while it is written
// (platform/FileClaim.h).

#include "audio/TakeFormat.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/codec/WavHeader.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace praatkist::audio {

// The layout of a WAV of the program's own (the 44-byte header of 16-bit integer PCM
// its writer makes) in the first Size bytes of a file (Head); false for any other.
bool ParseOwnWave(const std::uint8_t *head, std::size_t size, TWaveLayout &layout) noexcept;
// The file at Path is a WAV of the program's own. Never raises.
bool IsOwnWave(const std::filesystem::path &file) noexcept;

// The data bytes a WAV may hold under Limit: never more than its header can describe.
constexpr std::uint32_t WaveDataRoom(std::uint32_t limit) noexcept
{
  return limit < kMaxWaveDataBytes ? limit : kMaxWaveDataBytes;
}

class TWaveWriter {
public:
  // What an append did.
  enum TAppend {
    waWritten, // all of it
    waFull,    // the whole frames that fit, and the data is at its limit now
    waFailed,  // the system refused: the file is cut back to what came before
  };

  // Creates Path as a new file (any entry of that name makes it raise EFileError) for
  // PCM of Format, and claims it: with KeepClaim when given (its holder keeps the claim
  // on after the writer, until it renames the file into place), else with a claim of its
  // own, held until the file is complete or removed. A claim that fails removes the file
  // again. DataLimit: the most sample bytes (WaveDataRoom).
  TWaveWriter(const std::filesystem::path &path, TPcmFormat format,
              platform::TFileClaim *keepClaim = nullptr,
              std::uint32_t dataLimit = kMaxWaveDataBytes);
  // The program's own WAV at Path, closed, opened again as it is: its data counted as
  // every whole frame of what it holds after the header (up to the sizes of a header
  // that is no longer provisional), anything after that cut off, and the header of that
  // data written, so that every later step leaves a file whose data chunk is right.
  // Raises EFileError; EInvalidOperation when the file is no such WAV.
  static TWaveWriter Reopen(const std::filesystem::path &path);
  TWaveWriter(TWaveWriter &&) noexcept;
  TWaveWriter &operator=(TWaveWriter &&) = delete;
  ~TWaveWriter();

  // The header at the start: with the sizes of DataBytes where they are known before
  // (no further header is then needed for them), else provisional, so that a decoder
  // reads what has been written so far should the program die before the end.
  void Begin(std::optional<std::uint32_t> dataBytes = std::nullopt);

  // Appends a piece of PCM (whole frames), as much as the limit leaves room for. Never
  // throws: the capture thread calls it.
  TAppend TryAppend(const void *pcm, std::uint32_t bytes) noexcept;
  // The same, raising EFileError when the file takes less than all of it.
  void Append(const void *pcm, std::uint32_t bytes);
  // Appends Length bytes of samples from Source at Offset, copied by the kernel where it
  // can (platform::TWriteFile::CopyFrom): the bytes copied, fewer only where Source
  // ends. Raises EFileError, also beyond the limit; the file is then cut back.
  std::uint64_t AppendCopy(platform::TReadFile &source, std::uint64_t offset,
                           std::uint64_t length, void *buffer, std::size_t bufferSize);

  std::uint32_t DataBytes() const noexcept { return FDataBytes; }
  std::uint64_t Frames() const noexcept { return FDataBytes / FFormat.FrameBytes(); }
  const TPcmFormat &Format() const noexcept { return FFormat; }

  // Ends the file: the chunks of Markers after the data where the RIFF size can cover
  // them (else the label file alone keeps them), then the header of all it holds. True
  // when that header was written; chunks that could not be written are cut off again.
  bool TryFinish(const TMarkers &markers) noexcept;
  // The same, raising EFileError when any step failed.
  void Finish(const TMarkers &markers);
  // Data and size on the disk (raises), then the file closed and its own claim dropped.
  void SyncAndClose();
  // Closes without a sync; the claim of its own is dropped.
  void Close() noexcept;
  // Closes the file and removes it: a file that is not to be.
  void Abandon() noexcept;

private:
  TWaveWriter(const std::filesystem::path &path, TPcmFormat format, std::uint32_t dataBytes,
              std::unique_ptr<platform::TWriteFile> file);
  std::uint32_t Room() const noexcept { return FLimit - (FDataBytes < FLimit ? FDataBytes : FLimit); }
  std::vector<std::uint8_t> FittingChunks(const TMarkers &markers) const;
  // The header of the data and Trailing bytes of chunks after it, unless it stands so.
  bool WriteHeader(std::uint32_t trailing) noexcept;
  // Back to the header and the data written whole.
  void CutBack() noexcept;
  [[noreturn]] void Fail() const;
  [[noreturn]] void TooLarge() const;

  // What the header on disk says (none: provisional).
  struct THeaderSizes {
    std::uint32_t Data = 0;
    std::uint32_t Trailing = 0;
    bool operator==(const THeaderSizes &) const = default;
  };

  std::filesystem::path FPath;
  TPcmFormat FFormat;
  std::uint32_t FLimit = kMaxWaveDataBytes;
  std::unique_ptr<platform::TWriteFile> FFile;
  std::unique_ptr<platform::TFileClaim> FOwnClaim; // none where the caller keeps it
  std::uint32_t FDataBytes = 0; // always the sample data on disk
  std::optional<THeaderSizes> FHeader;
};

} // namespace praatkist::audio
