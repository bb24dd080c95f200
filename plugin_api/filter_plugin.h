// Pellory filter plug-ins
// =======================
//
// A filter plug-in is a shared library that rewrites the samples of a signal
// in place. Pellory finds plug-ins by listing its folder "DLL", and loads the
// one the user picks by its bare file name from the folder that holds the
// Pellory program itself. Each library exports exactly two functions, with C
// linkage and the undecorated names below, and nothing else:
//
//   Parameters_<Filter>()                 describes the filter's parameters
//   Filter_<Filter>(samples, parameters)  applies the filter
//
// | Filter  | Library file   | Parameter text                              |
// |---------|----------------|---------------------------------------------|
// | Smooth  | "Mirrowen.dll" | size: a decimal integer ("4")               |
// | Echo    | "Quillet.dll"  | factor, one separator, delay ("0.25,3")     |
// | Amplify | "Tarrock.dll"  | gain: a decimal number ("2.5")              |
//
// The sample buffer
// -----------------
// An array of N+1 32-bit signed integers: element 0 holds the sample count
// N (N >= 0), elements 1..N the samples in order. The host owns it and lends
// it for the duration of one filter call.
//
// What a plug-in must do
// ----------------------
// - Read N from element 0; rewrite elements 1..N in place; never write
//   element 0 or anything beyond element N; never reallocate the buffer.
// - Treat a parameter text it cannot use as documented for its filter; never
//   let an exception leave an export.
// - Keep no state: no globals, no work at library load, nothing kept between
//   calls. The host calls the parameters function once and then the filter
//   function once for each application of a filter.
//
// Ownership of texts
// ------------------
// Texts cross the boundary as std::string by value: the description is
// created by the plug-in and released by the host, the parameter text is
// copied by the host and released by the plug-in. Host and plug-ins are
// therefore built with the same compiler and C++ runtime, and share its heap.
#ifndef PELLORY_PLUGIN_API_FILTER_PLUGIN_H_
#define PELLORY_PLUGIN_API_FILTER_PLUGIN_H_

#include <cstdint>
#include <string>

// Marks the two functions a plug-in exports. Plug-ins are built with hidden
// visibility (ELF), and a Windows DLL exports only what is marked, so
// nothing else leaves the library.
#if defined(_WIN32)
#define PELLORY_PLUGIN_EXPORT __declspec(dllexport)
#else
#define PELLORY_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

namespace pellory {

// Returns the description shown to the user before the parameter prompts.
using ParametersFunction = std::string (*)();

// Applies the filter to `samples` (element 0 holds N) as `parameters` says.
using FilterFunction = void (*)(int32_t* samples, std::string parameter_text);

// The export names the host looks up, exactly as the plug-ins define them.
inline constexpr char kParametersAmplifyExport[] = "Parameters_Amplify";
inline constexpr char kFilterAmplifyExport[] = "Filter_Amplify";
inline constexpr char kParametersEchoExport[] = "Parameters_Echo";
inline constexpr char kFilterEchoExport[] = "Filter_Echo";
inline constexpr char kParametersSmoothExport[] = "Parameters_Smooth";
inline constexpr char kFilterSmoothExport[] = "Filter_Smooth";

}  // namespace pellory

#if defined(__clang__)
// std::string crosses this C-linkage boundary on purpose (see above).
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" {

// Tarrock.dll. Returns "Parameters; gain, a float in the range 1-10".
PELLORY_PLUGIN_EXPORT std::string Parameters_Amplify();
// Multiplies every sample by the gain, rounding half up. A text that does
// not convert to a number gives gain 0.
PELLORY_PLUGIN_EXPORT void Filter_Amplify(int32_t* samples,
                                          std::string parameter_text);

// Quillet.dll. Returns "Parameters: factor - a float, delay - an integer".
PELLORY_PLUGIN_EXPORT std::string Parameters_Echo();
// Adds to each sample the sample `delay` positions earlier times `factor`,
// front to back, so echoes recur. A text that does not parse, a factor that
// is not finite, or a delay below 1 leaves the samples unchanged.
PELLORY_PLUGIN_EXPORT void Filter_Echo(int32_t* samples,
                                       std::string parameter_text);

// Mirrowen.dll. Returns "Parameters; size - an integer".
PELLORY_PLUGIN_EXPORT std::string Parameters_Smooth();
// Replaces each sample but the last by the mean of the `size` samples from
// it onwards. A size below 1, or a text that does not hold an integer,
// leaves the samples unchanged.
PELLORY_PLUGIN_EXPORT void Filter_Smooth(int32_t* samples,
                                         std::string parameter_text);

}  // extern "C"

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#endif  // PELLORY_PLUGIN_API_FILTER_PLUGIN_H_
