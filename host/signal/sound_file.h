// What the audio reader and writer share of libsndfile: a handle that
// closes itself, and the names and reasons it gives.
#ifndef PELLORY_HOST_SIGNAL_SOUND_FILE_H_
#define PELLORY_HOST_SIGNAL_SOUND_FILE_H_

#include <sndfile.h>

#include <memory>
#include <string>

namespace pellory {

struct CloseSoundFile {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, CloseSoundFile>;

// The name libsndfile gives a container or a kind of sample.
inline std::string FormatName(int format) {
  SF_FORMAT_INFO info = {format, nullptr, nullptr};
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) != 0 ||
      info.name == nullptr) {
    return "format " + std::to_string(format);
  }
  return info.name;
}

// libsndfile's own reason, without its final period.
inline std::string Reason(const char* text) {
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) {
    reason.pop_back();
  }
  return reason;
}

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_SOUND_FILE_H_
