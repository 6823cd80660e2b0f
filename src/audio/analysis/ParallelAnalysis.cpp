#include "audio/analysis/ParallelAnalysis.h"

#include "audio/AudioErrors.h"
#include "audio/codec/DecodeStream.h"
#include "audio/codec/Peaks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace praatkist::audio {

namespace {

// Folds Count frames at Data, the first of them frame Frame of the take, into the
// points they fall in, up to frame End. Left and Right hold the points from FirstPoint on.
void FoldFrames(const std::uint8_t *data, std::uint64_t count, std::uint64_t &frame,
                std::uint64_t end, const TPeakJob &job, std::uint64_t firstPoint,
                std::int32_t *left, std::int32_t *right) noexcept
{
  const std::uint64_t frameBytes = job.FrameBytes();
  const std::uint64_t per = job.Layout.FramesPerPoint;
  const auto channels = static_cast<std::uint16_t>(std::min<std::uint32_t>(job.Channels, 0xFFFF));
  // One point's share at a time; what lies past End is left.
  while (count > 0 && frame < end) {
    const std::uint64_t point = frame / per;
    const std::uint64_t run = std::min({count, (point + 1) * per - frame, end - frame});
    std::int32_t l = 0, r = 0;
    BufferPeaks(data, static_cast<std::uint32_t>(run * frameBytes), channels, l, r);
    std::int32_t &pl = left[point - firstPoint];
    std::int32_t &pr = right[point - firstPoint];
    pl = std::max(pl, l);
    pr = std::max(pr, r);
    data += run * frameBytes;
    frame += run;
    count -= run;
  }
}

// Frames to ask for at a time: the meter's blocks where it filters them where they lie
// (a batch of its columns, some 800 KB), else a read block's worth.
std::uint64_t ReadFrames(std::uint64_t frameBytes, const TFigureMeter *meter) noexcept
{
  if (meter != nullptr && meter->BlockFrames() > 0)
    return meter->BlockFrames();
  return std::max<std::uint64_t>(1, kReadBlock / frameBytes);
}

enum class TChunkEnd { Full, Short, NoSeek, Cancelled, Abandoned, Failed };

struct TChunk {
  std::uint64_t Begin = 0, End = 0; // frames of the take
  // Read up to here: with figures the meter hears on past the stretch.
  std::uint64_t ReadEnd = 0;
  std::unique_ptr<TFigureMeter> Meter;
  std::uint64_t FirstPoint = 0;
  std::vector<std::int32_t> Left, Right;
  TChunkEnd How = TChunkEnd::Abandoned;
  std::exception_ptr Error;
};

// What the threads of one analysis share.
struct TShared {
  TShared(IAudioLayer &layer, const std::filesystem::path &file, THandle first, const TPeakJob &job,
          TWorkControl *control, std::size_t chunks)
      : Layer(layer), File(file), FirstStream(first), Job(job), Control(control), FirstShort(chunks)
  {
  }

  IAudioLayer &Layer;
  const std::filesystem::path &File;
  THandle FirstStream;
  const TPeakJob &Job;
  TWorkControl *Control;

  std::atomic<bool> Stop{false};       // a failure or a cancel: every chunk ends
  std::atomic<std::size_t> FirstShort; // the first chunk that ended early
  std::atomic<std::uint64_t> Done{0};  // frames read, for the progress
  std::mutex M;
  std::condition_variable Finished;
  std::size_t FinishedCount = 0; // M

  void NoteShort(std::size_t k) noexcept
  {
    std::size_t seen = FirstShort.load();
    while (k < seen && !FirstShort.compare_exchange_weak(seen, k)) {
    }
  }
};

TChunkEnd ReadChunk(TShared &s, std::size_t k, TChunk &c)
{
  IAudioLayer &layer = s.Layer;
  const std::uint64_t frameBytes = s.Job.FrameBytes();
  THandle stream = s.FirstStream;
  if (k > 0) {
    stream = layer.StreamCreateFile(s.File, true);
    CheckBass(layer, stream != 0, "Analyseren van opname");
  }
  TStreamGuard guard(layer, k > 0 ? stream : 0); // the first stream is the caller's
  if (k > 0) {
    TChannelInfo info;
    CheckBass(layer, layer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
    if ((info.Chans == 0 ? 1 : info.Chans) != s.Job.Channels ||
        layer.ChannelGetLength(stream) != s.Job.LengthBytes ||
        !layer.ChannelSetPosition(stream, c.Begin * frameBytes))
      return TChunkEnd::NoSeek;
  }
  const std::uint64_t blockFrames = ReadFrames(frameBytes, c.Meter.get());
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(blockFrames * frameBytes));
  std::uint64_t frame = c.Begin;
  while (frame < c.ReadEnd) {
    if (s.Stop.load(std::memory_order_relaxed) || s.FirstShort.load(std::memory_order_relaxed) < k)
      return TChunkEnd::Abandoned;
    if (s.Control != nullptr && s.Control->Cancelled())
      return TChunkEnd::Cancelled;
    const auto ask =
        static_cast<std::uint32_t>(std::min(blockFrames, c.ReadEnd - frame) * frameBytes);
    const std::uint32_t got = layer.ChannelGetData(stream, buffer.data(), ask);
    if (got == 0 || got == kDataError)
      // the take ends here; past the stretch that is only the end of what the meter hears
      return frame < c.End ? TChunkEnd::Short : TChunkEnd::Full;
    const std::uint64_t count = got / frameBytes;
    if (c.Meter)
      c.Meter->Add(buffer.data(), count, frame);
    // the stretch's own frames go to the peaks
    std::uint64_t at = frame;
    FoldFrames(buffer.data(), count, at, c.End, s.Job, c.FirstPoint, c.Left.data(),
               c.Right.data());
    s.Done.fetch_add(at - frame, std::memory_order_relaxed);
    frame += count;
  }
  return TChunkEnd::Full;
}

void RunChunk(TShared &s, std::size_t k, TChunk &c) noexcept
{
  try {
    c.How = ReadChunk(s, k, c);
    if (c.Meter)
      c.Meter->Finish(); // what it held back, on this thread
  } catch (...) {
    c.How = TChunkEnd::Failed;
    c.Error = std::current_exception();
  }
  if (c.How == TChunkEnd::Short)
    s.NoteShort(k);
  if (c.How == TChunkEnd::Failed || c.How == TChunkEnd::Cancelled)
    s.Stop.store(true);
  {
    std::lock_guard lock(s.M);
    ++s.FinishedCount;
  }
  s.Finished.notify_one();
}

} // namespace

TPeakResult SequentialPeaks(IAudioLayer &layer, THandle stream, const TPeakJob &job,
                            TWorkControl *control)
{
  TPeakResult result;
  std::vector<std::int32_t> &left = result.Left;
  std::vector<std::int32_t> &right = result.Right;
  left.assign(static_cast<std::size_t>(job.Layout.Points), 0);
  right.assign(static_cast<std::size_t>(job.Layout.Points), 0);
  const std::uint64_t wanted = job.WantedFrames();
  const std::uint64_t frameBytes = job.FrameBytes();
  std::unique_ptr<TFigureMeter> meter;
  if (job.Figures)
    meter = std::make_unique<TFigureMeter>(job.Channels, job.Rate, 0, wanted, true);
  // Whole frames only, so that every block starts on a frame.
  const auto ask = static_cast<std::uint32_t>(ReadFrames(frameBytes, meter.get()) * frameBytes);
  std::vector<std::uint8_t> buffer(ask);
  std::uint64_t frame = 0;
  while (frame < wanted && ask > 0) {
    if (control != nullptr) {
      if (control->Cancelled())
        throw EWorkCancelled();
      control->Report(static_cast<double>(frame) / static_cast<double>(wanted));
    }
    const std::uint32_t got = layer.ChannelGetData(stream, buffer.data(), ask);
    if (got == 0 || got == kDataError)
      break;
    if (meter)
      meter->Add(buffer.data(), got / frameBytes, frame);
    FoldFrames(buffer.data(), got / frameBytes, frame, wanted, job, 0, left.data(), right.data());
  }
  if (meter)
    result.Figures = TFigureMeter::Combine({meter.get()});
  return result;
}

std::optional<TPeakResult> ParallelPeaks(IAudioLayer &layer, const std::filesystem::path &file,
                                         THandle stream, const TPeakJob &job, unsigned chunks,
                                         TWorkControl *control)
{
  const std::uint64_t wanted = job.WantedFrames();
  const std::uint64_t per = job.Layout.FramesPerPoint;
  // Stretches of equal length over the frames the file reports; the last one reads on
  // to the end of the last point, as one reading does. With figures they meet on the
  // loudness blocks' grid.
  const std::uint64_t spread = std::min(job.Frames, wanted);
  const std::uint64_t grid = job.Figures ? TFigureMeter::CellFrames(job.Rate) : 1;
  const std::size_t count =
      std::max<std::size_t>(1, std::min<std::uint64_t>(chunks, spread / grid));
  const auto border = [&](std::size_t k) {
    const std::uint64_t at = spread / count * k + std::min<std::uint64_t>(k, spread % count);
    return at - at % grid;
  };
  std::vector<TChunk> parts(count);
  for (std::size_t k = 0; k < count; ++k) {
    TChunk &c = parts[k];
    c.Begin = border(k);
    c.End = k + 1 < count ? border(k + 1) : wanted;
    c.ReadEnd = c.End;
    if (job.Figures) {
      c.Meter = std::make_unique<TFigureMeter>(job.Channels, job.Rate, c.Begin, c.End,
                                               k + 1 == count);
      c.ReadEnd = std::max(c.End, c.Meter->ReadEnd());
    }
    c.FirstPoint = c.Begin / per;
    const std::uint64_t lastPoint = (c.End - 1) / per;
    c.Left.assign(static_cast<std::size_t>(lastPoint - c.FirstPoint + 1), 0);
    c.Right.assign(c.Left.size(), 0);
  }

  TShared shared(layer, file, stream, job, control, count);
  std::vector<std::thread> threads;
  threads.reserve(count);
  bool started = true;
  try {
    for (std::size_t k = 0; k < count; ++k)
      threads.emplace_back(RunChunk, std::ref(shared), k, std::ref(parts[k]));
  } catch (...) {
    started = false;
    shared.Stop.store(true);
  }
  if (control != nullptr) {
    // This thread only tells how far the others are.
    const double total = static_cast<double>(wanted);
    for (;;) {
      control->Report(static_cast<double>(shared.Done.load(std::memory_order_relaxed)) / total);
      std::unique_lock lock(shared.M);
      if (shared.Finished.wait_for(lock, std::chrono::milliseconds(25),
                                   [&] { return shared.FinishedCount == threads.size(); }))
        break;
    }
  }
  for (auto &t : threads)
    t.join();
  if (!started)
    return std::nullopt;

  for (const TChunk &c : parts)
    if (c.How == TChunkEnd::Cancelled)
      throw EWorkCancelled();
  for (const TChunk &c : parts)
    if (c.Error)
      std::rethrow_exception(c.Error);

  TPeakResult result;
  std::vector<std::int32_t> &l = result.Left;
  std::vector<std::int32_t> &r = result.Right;
  l.assign(static_cast<std::size_t>(job.Layout.Points), 0);
  r.assign(l.size(), 0);
  std::vector<TFigureMeter *> meters;
  for (const TChunk &c : parts) {
    if (c.How == TChunkEnd::NoSeek)
      return std::nullopt;
    if (c.Meter)
      meters.push_back(c.Meter.get());
    // A point split between two stretches takes the larger part of each.
    for (std::size_t i = 0; i < c.Left.size(); ++i) {
      const std::size_t p = static_cast<std::size_t>(c.FirstPoint) + i;
      l[p] = std::max(l[p], c.Left[i]);
      r[p] = std::max(r[p], c.Right[i]);
    }
    if (c.How == TChunkEnd::Short)
      break; // one reading would have stopped here
  }
  if (job.Figures)
    result.Figures = TFigureMeter::Combine(meters);
  return result;
}

} // namespace praatkist::audio
