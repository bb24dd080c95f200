// Audio files through libsndfile, the field's library for them: recognised
// by their content, read as the integer values they store, and made in
// memory for the file seam's saver to write.
#ifndef PELLORY_HOST_SIGNAL_AUDIO_FILE_H_
#define PELLORY_HOST_SIGNAL_AUDIO_FILE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/signal/progress.h"
#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "platform/file.h"

namespace pellory {

// Whether `head`, the first bytes of a file whose length is not known (a
// pipe), begins a file libsndfile recognises: such a file is then read
// whole and given to ReadAudio.
bool BeginsAudio(std::string_view head);

// An audio file's bytes: a regular file read at any offset through its
// reader, or a whole file in memory.
struct AudioBytes {
  const FileReader* file = nullptr;
  std::string_view memory;
};

enum class AudioRead { kNotAudio, kRead, kFailed };

// Reads `bytes` into `channels` (one signal each, element 0 its count) and
// its format into `format`: kNotAudio where libsndfile recognises no audio
// file, kFailed with the reason in `err` where it does but the file cannot
// be read or holds no integer PCM ("32-bit float samples: Pellory edits
// integer samples"). Each sample is the value the file stores: 8-bit WAV's
// unsigned bytes as -128 to 127, 16 bits as -32768 to 32767, and so on.
AudioRead ReadAudio(const AudioBytes& bytes, std::vector<Signal>* channels,
                    SignalFormat* format, std::string* err, Progress* progress);

// The audio file `format` (is_audio) makes of `channels` (the same length
// each), its strings included: each sample saturated to the format's
// width, how many were in `clipped`. False, with the reason in `err`, where
// the container does not take the width, rate or channels.
bool AudioFileBytes(std::span<const Signal* const> channels,
                    const SignalFormat& format, std::string* file,
                    int64_t* clipped, std::string* err);

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_AUDIO_FILE_H_
