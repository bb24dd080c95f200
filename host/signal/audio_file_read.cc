// Audio files read through libsndfile: recognised, then their frames
// widened into the signals, split across the cores.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "host/signal/audio_file.h"
#include "host/signal/sound_file.h"

namespace pellory {
namespace {

// What libsndfile reads through: the bytes, where it stands, the first
// error the file seam gave, and a window of the file read ahead.
struct Reading {
  Reading(const AudioBytes* read, int64_t length) : bytes(read), size(length) {}
  const AudioBytes* bytes;
  int64_t size;
  int64_t position = 0;
  std::string error;
  // libsndfile asks for a few kilobytes at a time; the file is read a
  // window at a time, in few calls.
  std::unique_ptr<char[]> window;
  int64_t window_size = 0;
  int64_t window_start = 0;
};

// How much of a file is read ahead at once; a read at least this large goes
// straight into the caller's buffer.
constexpr int64_t kReadWindow = 256 << 10;

// The samples read a call, in bytes: enough for the read to go straight
// into the block, few enough for the block to stay in the core's cache
// until its samples are widened.
constexpr size_t kBlockBytes = 2 * kReadWindow;

sf_count_t ReadingLength(void* user) {
  return static_cast<Reading*>(user)->size;
}

sf_count_t ReadingSeek(sf_count_t offset, int whence, void* user) {
  auto* reading = static_cast<Reading*>(user);
  const int64_t from = whence == SEEK_CUR   ? reading->position
                       : whence == SEEK_END ? reading->size
                                            : 0;
  if (from + offset < 0) return -1;
  reading->position = from + offset;
  return reading->position;
}

// Reads `size` bytes at `offset` of the file into `into`: fewer only where
// the file ends or fails (said in the reading's error).
int64_t ReadFileAt(Reading* reading, char* into, int64_t size, int64_t offset) {
  int64_t got = 0;
  while (got < size) {
    const long part = reading->bytes->file->ReadFrom(
        into + got, static_cast<size_t>(size - got), offset + got,
        &reading->error);
    if (part <= 0) {
      if (part == 0 && reading->error.empty()) {
        reading->error = "the file shrank while it was read";
      }
      break;
    }
    got += part;
  }
  return got;
}

sf_count_t ReadingRead(void* into, sf_count_t count, void* user) {
  auto* reading = static_cast<Reading*>(user);
  char* to = static_cast<char*>(into);
  const int64_t wanted =
      std::max<int64_t>(0, std::min(count, reading->size - reading->position));
  if (reading->bytes->file == nullptr) {
    if (wanted > 0) {
      std::memcpy(to, reading->bytes->memory.data() + reading->position,
                  static_cast<size_t>(wanted));
    }
    reading->position += wanted;
    return wanted;
  }
  if (wanted >= kReadWindow) {
    const int64_t got = ReadFileAt(reading, to, wanted, reading->position);
    reading->position += got;
    return got;
  }
  const int64_t in_window = reading->position - reading->window_start;
  if (in_window < 0 || in_window + wanted > reading->window_size) {
    if (reading->window == nullptr) {
      reading->window.reset(new char[kReadWindow]);
    }
    reading->window_start = reading->position;
    reading->window_size =
        ReadFileAt(reading, reading->window.get(),
                   std::min(kReadWindow, reading->size - reading->position),
                   reading->position);
  }
  const int64_t from = reading->position - reading->window_start;
  const int64_t got = std::min(wanted, reading->window_size - from);
  if (got > 0) {
    std::memcpy(to, reading->window.get() + from, static_cast<size_t>(got));
  }
  reading->position += got;
  return got;
}

sf_count_t NoWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t ReadingTell(void* user) {
  return static_cast<Reading*>(user)->position;
}

SF_VIRTUAL_IO kReadingIo = {ReadingLength, ReadingSeek, ReadingRead, NoWrite,
                            ReadingTell};
// The width of integer PCM samples, or 0 for any other kind.
int BitsOf(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
      return 32;
    default:
      return 0;
  }
}
// Why samples of `subtype` (not integer PCM) are not loaded.
std::string Refusal(int subtype) {
  switch (subtype) {
    case SF_FORMAT_FLOAT:
      return "32-bit float samples: Pellory edits integer samples";
    case SF_FORMAT_DOUBLE:
      return "64-bit float samples: Pellory edits integer samples";
    default:
      return FormatName(subtype) +
             " samples, which are not integer PCM (lossy or compressed): "
             "Pellory edits integer PCM samples";
  }
}
// Reads the frames of `file` into `channels`, as the values the file
// stores: libsndfile scales every width to that of the type it fills (16
// bits for shorts, 32 for ints), and the shift by the difference undoes
// that exactly. Samples of 16 bits or fewer are read as shorts, which
// libsndfile hands over as the file holds them, at no cost of its own.
template <typename Sample>
bool ReadFramesAs(SNDFILE* file, const Reading& reading, int bits,
                  sf_count_t first, sf_count_t count,
                  std::vector<Signal>* channels, Progress* progress) {
  const size_t width = channels->size();
  const int shift = static_cast<int>(8 * sizeof(Sample)) - bits;
  const auto at_once = static_cast<sf_count_t>(
      std::max<size_t>(1, kBlockBytes / (width * sizeof(Sample))));
  // Not zeroed: every block is read before it is widened.
  const std::unique_ptr<Sample[]> interleaved(
      new Sample[static_cast<size_t>(at_once) * width]);
  for (sf_count_t done = 0; done < count;) {
    const sf_count_t frames = std::min(at_once, count - done);
    const int64_t before = reading.position;
    sf_count_t read;
    if constexpr (sizeof(Sample) == 2) {
      read = sf_readf_short(file, interleaved.get(), frames);
    } else {
      read = sf_readf_int(file, interleaved.get(), frames);
    }
    if (read != frames || !reading.error.empty()) return false;
    // A plain loop over each channel; one channel's, with no stride, is the
    // one the compiler vectorises.
    for (size_t c = 0; c < width; ++c) {
      int32_t* samples = (*channels)[c].data() + 1 + first + done;
      const Sample* from = interleaved.get() + c;
      if (width == 1) {
        for (sf_count_t i = 0; i < frames; ++i) {
          samples[i] = int32_t{from[i]} >> shift;
        }
        continue;
      }
      for (sf_count_t i = 0; i < frames; ++i) {
        samples[i] = int32_t{from[static_cast<size_t>(i) * width]} >> shift;
      }
    }
    done += frames;
    if (progress != nullptr) progress->done += reading.position - before;
  }
  return true;
}

// Frames fewer than this take longer to hand to a thread than to read.
constexpr int64_t kSmallestPart = 1 << 18;

// One part of the frames and the handle on the file that reads it.
struct FramesPart {
  Reading* reading;
  SNDFILE* file;
  bool read = false;
};

// Reads every frame of `file`, just opened over `reading`, into `channels`,
// split across the cores: each further part reads through a handle of its
// own, opened here (libsndfile keeps an open's errors in globals) and
// moved to its first frame by its thread. False, with the reason in `err`,
// where a part could not be read.
bool ReadAllFrames(SNDFILE* file, Reading* reading, int bits,
                   std::vector<Signal>* channels, std::string* err,
                   Progress* progress) {
  const int64_t count = (*channels)[0].SampleCount();
  int parts = PartsFor(count, kSmallestPart);
  std::vector<FramesPart> split = {{reading, file}};
  std::vector<std::unique_ptr<Reading>> more_readings;
  std::vector<SoundFile> more_files;
  for (int part = 1; part < parts; ++part) {
    more_readings.push_back(
        std::make_unique<Reading>(reading->bytes, reading->size));
    SF_INFO again = {};
    more_files.emplace_back(sf_open_virtual(&kReadingIo, SFM_READ, &again,
                                            more_readings.back().get()));
    // A file that opens once but not twice is read whole, by the one handle.
    if (more_files.back() == nullptr) {
      parts = 1;
      break;
    }
    split.push_back({more_readings.back().get(), more_files.back().get()});
  }
  split.resize(static_cast<size_t>(parts));
  RunParts(parts, [&](int part) {
    FramesPart& mine = split[static_cast<size_t>(part)];
    const int64_t first = PartStart(0, count, part, parts);
    const int64_t frames = PartStart(0, count, part + 1, parts) - first;
    if (part > 0 && sf_seek(mine.file, first, SEEK_SET) != first) return;
    mine.read = bits <= 16
                    ? ReadFramesAs<short>(mine.file, *mine.reading, bits, first,
                                          frames, channels, progress)
                    : ReadFramesAs<int>(mine.file, *mine.reading, bits, first,
                                        frames, channels, progress);
  });
  for (const FramesPart& part : split) {
    if (part.read) continue;
    *err = !part.reading->error.empty()
               ? part.reading->error
               : "the file ends before its last sample";
    return false;
  }
  return true;
}
}  // namespace

bool BeginsAudio(std::string_view head) {
  const AudioBytes bytes = {nullptr, head};
  Reading reading(&bytes, static_cast<int64_t>(head.size()));
  SF_INFO info = {};
  SoundFile file(sf_open_virtual(&kReadingIo, SFM_READ, &info, &reading));
  // A head too short for its whole header is still one libsndfile knows.
  return file != nullptr || sf_error(nullptr) != SF_ERR_UNRECOGNISED_FORMAT;
}

AudioRead ReadAudio(const AudioBytes& bytes, std::vector<Signal>* channels,
                    SignalFormat* format, std::string* err,
                    Progress* progress) {
  Reading reading(&bytes, bytes.file != nullptr
                              ? bytes.file->Size()
                              : static_cast<int64_t>(bytes.memory.size()));
  SF_INFO info = {};
  SoundFile file(sf_open_virtual(&kReadingIo, SFM_READ, &info, &reading));
  if (file == nullptr) {
    // A read that failed says nothing of the format: the load fails with it.
    if (reading.error.empty() &&
        sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT) {
      return AudioRead::kNotAudio;
    }
    *err =
        !reading.error.empty() ? reading.error : Reason(sf_strerror(nullptr));
    return AudioRead::kFailed;
  }
  const int bits = BitsOf(info.format & SF_FORMAT_SUBMASK);
  if (bits == 0) {
    *err = Refusal(info.format & SF_FORMAT_SUBMASK);
    return AudioRead::kFailed;
  }
  if (info.frames > INT32_MAX) {
    *err =
        "more than 2,147,483,647 samples a channel, the most a signal "
        "holds";
    return AudioRead::kFailed;
  }
  format->container = info.format & SF_FORMAT_TYPEMASK;
  format->bits = bits;
  format->rate = info.samplerate;
  format->channels = info.channels;
  const auto text = [&](int which) {
    const char* value = sf_get_string(file.get(), which);
    return std::string(value != nullptr ? value : "");
  };
  format->title = text(SF_STR_TITLE);
  format->artist = text(SF_STR_ARTIST);
  format->comment = text(SF_STR_COMMENT);
  format->date = text(SF_STR_DATE);
  channels->clear();
  channels->resize(static_cast<size_t>(info.channels));
  for (Signal& channel : *channels) {
    if (!channel.Allocate(static_cast<int32_t>(info.frames))) {
      channels->clear();
      *err = "not enough memory for " + std::to_string(info.frames) +
             " samples a channel";
      return AudioRead::kFailed;
    }
  }
  if (progress != nullptr) progress->total = reading.size;
  if (!ReadAllFrames(file.get(), &reading, bits, channels, err, progress)) {
    channels->clear();
    return AudioRead::kFailed;
  }
  return AudioRead::kRead;
}
}  // namespace pellory
