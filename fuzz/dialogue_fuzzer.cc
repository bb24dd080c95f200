// Any bytes as standard input to the whole menu loop, in-process: main
// menu, filter menu with the real plug-ins, every prompt. Runs in a scratch
// folder with a plug-in folder and a few signal files; inputs holding '/'
// are skipped so that no file name can reach outside it.
//
// Invariants: the loop ends when the input does (never hangs; the fuzzer's
// timeout catches one that would); no sanitizer report; every file it
// writes is a well-formed signal file.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "host/editor/editor.h"
#include "host/editor/main_menu.h"
#include "host/signal/signal.h"
#include "host/signal/signal_format.h"

using pellory::fuzz::Check;

namespace {

const std::map<std::string, std::string>& Seeds() {
  static const std::map<std::string, std::string> seeds = {
      {"a", "5\n1\n-2\n3\n-4\n5\n"},
      {"b", "0\n"},
      {"c", "3\n2147483647\n-2147483648\n0\n"},
      {"d", "4\n12abc\n\n -7\n99999999999\nsurplus\n"},
      {"e", "7\n100\n0\n0\n0\n0\n0\n0\n"},
  };
  return seeds;
}

// Makes the scratch folder the working directory, with DLL holding the
// plug-ins built beside this program.
void Prepare() {
  const std::string folder = pellory::fuzz::ScratchFolder();
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  Check(length > 0, "own path");
  const std::filesystem::path bin =
      std::filesystem::path(std::string(self, static_cast<size_t>(length)))
          .parent_path();
  std::filesystem::current_path(folder);
  std::filesystem::create_directory("DLL");
  for (const char* plugin : {"Mirrowen.dll", "Quillet.dll", "Tarrock.dll"}) {
    std::filesystem::copy_file(bin / plugin,
                               std::filesystem::path("DLL") / plugin);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Prepare();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (input.find('/') != std::string::npos) return 0;

  // The folder as the seeds left it: the run before told what it changed.
  // Kept in reserved room: a run that allocates more than it frees makes
  // libFuzzer search it for leaks.
  static std::vector<std::string> changed = [] {
    std::vector<std::string> all;
    all.reserve(64);
    for (const auto& seed : Seeds()) all.push_back(seed.first);
    return all;
  }();
  for (const std::string& name : changed) {
    std::filesystem::remove_all(name);
    const auto seed = Seeds().find(name);
    if (seed != Seeds().end()) pellory::fuzz::WriteWhole(name, seed->second);
  }
  changed.clear();
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  pellory::Editor editor(in, out, err);
  pellory::MainMenu(editor);
  Check(in.eof() || in.fail(), "the menu returns only when input ends");

  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name == "DLL") continue;
    const auto seed = Seeds().find(name);
    if (!entry.is_regular_file()) {
      changed.push_back(name);
      continue;
    }
    const std::string content = pellory::fuzz::ReadWhole(name);
    if (seed != Seeds().end() && seed->second == content) continue;
    changed.push_back(name);
    // A name with an audio extension is saved as that audio file.
    pellory::Signal saved;
    Check(pellory::FormatForName(name, {}).is_audio()
              ? saved.Load(name)
              : pellory::fuzz::IsWellFormedSignalFile(content),
          "every saved file is a well-formed signal or audio file");
  }
  // A seed the run removed or replaced by something else is restored too.
  for (const auto& seed : Seeds()) {
    if (!std::filesystem::is_regular_file(seed.first))
      changed.push_back(seed.first);
  }
  return 0;
}
