// A stand-in for Tarrock.dll that must never be loaded: loading it leaves
// the marker file PLANTED-LIBRARY-LOADED in the working folder, and applying
// it would set every sample to 666.
#include <cstdio>

#include "plugin_api/filter_plugin.h"

namespace {

__attribute__((constructor)) void LeaveMarker() {
  if (std::FILE* marker = std::fopen("PLANTED-LIBRARY-LOADED", "w")) {
    std::fclose(marker);
  }
}

}  // namespace

std::string Parameters_Amplify() { return "planted"; }

void Filter_Amplify(int32_t* samples, std::string) {
  for (int32_t i = 1; i <= samples[0]; ++i) samples[i] = 666;
}
