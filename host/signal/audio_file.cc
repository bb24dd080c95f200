#include "host/signal/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace pellory {
namespace {

// The most sample bytes a WAV is written with: its sizes are 32 bits, and
// its header and strings need room below them.
constexpr uint64_t kLargestWavData = (uint64_t{1} << 32) - (uint64_t{1} << 20);

// Frames read or written a call: few enough to keep the interleaved buffer
// in the caches, and the progress moving.
constexpr sf_count_t kFramesAtOnce = 1 << 16;

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
  std::vector<char> window;
  int64_t window_start = 0;
};

// How much of a file is read ahead at once.
constexpr size_t kReadWindow = 1 << 20;

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
  if (wanted >= static_cast<int64_t>(kReadWindow)) {
    const int64_t got = ReadFileAt(reading, to, wanted, reading->position);
    reading->position += got;
    return got;
  }
  const int64_t in_window = reading->position - reading->window_start;
  if (in_window < 0 ||
      in_window + wanted > static_cast<int64_t>(reading->window.size())) {
    reading->window.resize(static_cast<size_t>(
        std::min<int64_t>(kReadWindow, reading->size - reading->position)));
    reading->window_start = reading->position;
    const int64_t got = ReadFileAt(reading, reading->window.data(),
                                   static_cast<int64_t>(reading->window.size()),
                                   reading->position);
    reading->window.resize(static_cast<size_t>(got));
  }
  const int64_t from = reading->position - reading->window_start;
  const int64_t got = std::min<int64_t>(
      wanted, static_cast<int64_t>(reading->window.size()) - from);
  // An empty file has no window at all: nothing to copy from it.
  if (got > 0) {
    std::memcpy(to, reading->window.data() + from, static_cast<size_t>(got));
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

// What libsndfile writes into: a file in memory, which it may seek back in
// to finish its header.
struct Writing {
  std::string* file;
  int64_t position = 0;
};

sf_count_t WritingLength(void* user) {
  return static_cast<sf_count_t>(static_cast<Writing*>(user)->file->size());
}

sf_count_t WritingSeek(sf_count_t offset, int whence, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const int64_t from = whence == SEEK_CUR ? writing->position
                       : whence == SEEK_END
                           ? static_cast<int64_t>(writing->file->size())
                           : 0;
  if (from + offset < 0) return -1;
  writing->position = from + offset;
  return writing->position;
}

sf_count_t WritingRead(void* into, sf_count_t count, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const int64_t size = static_cast<int64_t>(writing->file->size());
  const int64_t got =
      std::max<int64_t>(0, std::min<int64_t>(count, size - writing->position));
  if (got > 0) {
    std::memcpy(into, writing->file->data() + writing->position,
                static_cast<size_t>(got));
  }
  writing->position += got;
  return got;
}

sf_count_t WritingWrite(const void* from, sf_count_t count, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const auto end = static_cast<size_t>(writing->position + count);
  if (end > writing->file->size()) writing->file->resize(end);
  std::memcpy(writing->file->data() + writing->position, from,
              static_cast<size_t>(count));
  writing->position += count;
  return count;
}

sf_count_t WritingTell(void* user) {
  return static_cast<Writing*>(user)->position;
}

SF_VIRTUAL_IO kWritingIo = {WritingLength, WritingSeek, WritingRead,
                            WritingWrite, WritingTell};

struct CloseSoundFile {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, CloseSoundFile>;

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

// The name libsndfile gives a container or a kind of sample.
std::string FormatName(int format) {
  SF_FORMAT_INFO info = {format, nullptr, nullptr};
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) != 0 ||
      info.name == nullptr) {
    return "format " + std::to_string(format);
  }
  return info.name;
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

// libsndfile's own reason, without its final period.
std::string Reason(const char* text) {
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) {
    reason.pop_back();
  }
  return reason;
}

// Reads the frames of `file` into `channels`, as the values the file
// stores: libsndfile scales every width to that of the type it fills (16
// bits for shorts, 32 for ints), and the shift by the difference undoes
// that exactly. Samples of 16 bits or fewer are read as shorts, which
// libsndfile hands over as the file holds them, at no cost of its own.
template <typename Sample>
bool ReadFramesAs(SNDFILE* file, const Reading& reading, int bits,
                  std::vector<Signal>* channels, Progress* progress) {
  const auto count = static_cast<sf_count_t>((*channels)[0].SampleCount());
  const size_t width = channels->size();
  const int shift = static_cast<int>(8 * sizeof(Sample)) - bits;
  // Blocks larger than the read-ahead window, which libsndfile then reads
  // straight into the block, in one call a block.
  const auto at_once = static_cast<sf_count_t>(
      std::max<size_t>(1, 2 * kReadWindow / (width * sizeof(Sample))));
  std::vector<Sample> interleaved(static_cast<size_t>(at_once) * width);
  for (sf_count_t done = 0; done < count;) {
    const sf_count_t frames = std::min(at_once, count - done);
    sf_count_t read;
    if constexpr (sizeof(Sample) == 2) {
      read = sf_readf_short(file, interleaved.data(), frames);
    } else {
      read = sf_readf_int(file, interleaved.data(), frames);
    }
    if (read != frames || !reading.error.empty()) return false;
    // Plain loops over each channel, which the compiler vectorises.
    for (size_t c = 0; c < width; ++c) {
      int32_t* samples = (*channels)[c].data() + 1 + done;
      const Sample* from = interleaved.data() + c;
      for (sf_count_t i = 0; i < frames; ++i) {
        samples[i] = int32_t{from[static_cast<size_t>(i) * width]} >> shift;
      }
    }
    done += frames;
    if (progress != nullptr) progress->done = reading.position;
  }
  return true;
}

bool ReadFrames(SNDFILE* file, const Reading& reading, int bits,
                std::vector<Signal>* channels, Progress* progress) {
  return bits <= 16
             ? ReadFramesAs<short>(file, reading, bits, channels, progress)
             : ReadFramesAs<int>(file, reading, bits, channels, progress);
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
  if (!ReadFrames(file.get(), reading, bits, channels, progress)) {
    channels->clear();
    *err = !reading.error.empty() ? reading.error
                                  : "the file ends before its last sample";
    return AudioRead::kFailed;
  }
  return AudioRead::kRead;
}

bool AudioFileBytes(std::span<const Signal* const> channels,
                    const SignalFormat& format, std::string* file,
                    int64_t* clipped, std::string* err) {
  // 8-bit samples are unsigned in the RIFF family, signed elsewhere.
  const bool riff = format.container == SF_FORMAT_WAV ||
                    format.container == SF_FORMAT_WAVEX ||
                    format.container == SF_FORMAT_W64 ||
                    format.container == SF_FORMAT_RF64;
  const int subtype = format.bits == 8
                          ? (riff ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8)
                      : format.bits == 16 ? SF_FORMAT_PCM_16
                      : format.bits == 24 ? SF_FORMAT_PCM_24
                                          : SF_FORMAT_PCM_32;
  SF_INFO info = {};
  info.samplerate = format.rate;
  info.channels = static_cast<int>(channels.size());
  // A WAV whose samples reach past 4 GB, which a WAV cannot count, is
  // written as RF64 (libsndfile downgrades it to a WAV should it end up
  // smaller); any other stays a plain WAV, as every tool reads it.
  const uint64_t data_bytes =
      static_cast<uint64_t>(channels[0]->SampleCount()) * channels.size() *
      static_cast<uint64_t>(format.bits / 8);
  const int container =
      format.container == SF_FORMAT_WAV && data_bytes >= kLargestWavData
          ? SF_FORMAT_RF64
          : format.container;
  info.format = container | subtype;
  if (sf_format_check(&info) == 0) {
    *err = FormatName(format.container) + " does not take " +
           std::to_string(format.bits) + "-bit samples in " +
           std::to_string(info.channels) + " channels at " +
           std::to_string(format.rate) + " Hz";
    return false;
  }
  file->clear();
  Writing writing = {file, 0};
  SoundFile sound(sf_open_virtual(&kWritingIo, SFM_WRITE, &info, &writing));
  if (sound == nullptr) {
    *err = Reason(sf_strerror(nullptr));
    return false;
  }
  if (container == SF_FORMAT_RF64) {
    sf_command(sound.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  }
  const std::pair<int, const std::string*> strings[] = {
      {SF_STR_TITLE, &format.title},
      {SF_STR_ARTIST, &format.artist},
      {SF_STR_COMMENT, &format.comment},
      {SF_STR_DATE, &format.date}};
  for (const auto& [which, value] : strings) {
    if (!value->empty()) sf_set_string(sound.get(), which, value->c_str());
  }
  const int32_t high =
      format.bits == 32 ? INT32_MAX : (int32_t{1} << (format.bits - 1)) - 1;
  const int32_t low = -high - 1;
  const int shift = 32 - format.bits;
  const size_t width = channels.size();
  const sf_count_t count = channels[0]->SampleCount();
  std::vector<int> interleaved(kFramesAtOnce * width);
  *clipped = 0;
  for (sf_count_t done = 0; done < count;) {
    const sf_count_t frames = std::min(kFramesAtOnce, count - done);
    for (size_t c = 0; c < width; ++c) {
      const int32_t* samples = channels[c]->data() + 1 + done;
      for (sf_count_t i = 0; i < frames; ++i) {
        // Saturate: a sample beyond the file's width has no value there.
        const int32_t value = std::clamp(samples[i], low, high);
        *clipped += value != samples[i];
        // Scaled to 32 bits, as libsndfile takes every width.
        interleaved[static_cast<size_t>(i) * width + c] =
            static_cast<int>(static_cast<uint32_t>(value) << shift);
      }
    }
    if (sf_writef_int(sound.get(), interleaved.data(), frames) != frames) {
      *err = Reason(sf_strerror(sound.get()));
      return false;
    }
    done += frames;
  }
  if (sf_close(sound.release()) != 0) {
    *err = Reason(sf_strerror(nullptr));
    return false;
  }
  return true;
}

}  // namespace pellory
