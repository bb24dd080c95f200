// The command-line forms as the real program runs them: their exit codes
// and streams, apply against the dialogue, the standard streams and links
// as the shell gives them, the help text in the documents, the SVG drawn.
#include <gtest/gtest.h>
#include <sndfile.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

constexpr char kSignal[] = "3\n5\n-3\n7\n";

TEST(CommandLineTest, EachFormsExitCodeAndStreams) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("s.txt", kSignal);
  const struct {
    std::vector<std::string> arguments;
    int exit_status;
    const char* output;  // what standard output begins with
    const char* errors;  // what standard error holds, in part
  } cases[] = {
      {{"--version"}, 0, "Pellory ", ""},
      {{"--help"}, 0, "Usage: Pellory\n", ""},
      {{"-h"}, 0, "Usage: Pellory\n", ""},
      {{"--help", "extra"}, 2, "", "'extra'\nTry 'Pellory --help'.\n"},
      {{"--bogus"}, 2, "", "unknown option '--bogus'\nTry 'Pellory --help'."},
      {{"frob"}, 2, "", "unknown command 'frob'"},
      {{"apply", "s.txt"}, 2, "", "missing OUTPUT"},
      {{"apply", "-h"},
       0,
       "Usage: Pellory apply INPUT OUTPUT STEP... [--bits N]",
       ""},
      {{"apply", "s.txt", "o.txt", "smooth=4x"},
       2,
       "",
       "step 'smooth=4x': SIZE must be a whole number, not '4x'"},
      {{"apply", "s.txt", "o.txt", "echo=1.5,2"},
       2,
       "",
       "FACTOR must be a number from 0 to 1, not '1.5'"},
      {{"apply", "s.txt", "o.txt", "echo=0.5"},
       2,
       "",
       "step 'echo=0.5': its form is echo=FACTOR,DELAY"},
      {{"apply", "s.txt", "o.txt", "blur=2"}, 2, "", "'blur=2'"},
      {{"apply", "nosuch.txt", "o.txt", "smooth=2"},
       1,
       "",
       "cannot load nosuch.txt"},
      {{"apply", "s.txt", "-", "AMPLIFY=2"}, 0, "3\n10\n-5\n14\n", ""},
      {{"info"}, 2, "", "missing FILE"},
      {{"info", "--help"}, 0, "Usage: Pellory info FILE...\n", ""},
      {{"info", "--bogus"}, 2, "", "info: unknown option '--bogus'"},
      {{"info", "nosuch.txt", "s.txt"},
       1,
       "file: s.txt\nsamples: 3\n",
       "cannot load nosuch.txt"},
      {{"plot"}, 2, "", "missing FILE"},
      {{"plot", "s.txt", "--width", "0"},
       2,
       "",
       "--width takes a whole number from 1 to 4000, not '0'"},
      {{"plot", "s.txt", "--width", "1000000000"},
       2,
       "",
       "--width takes a whole number from 1 to 4000, not '1000000000'"},
      {{"plot", "s.txt", "--height"}, 2, "", "--height needs a value"},
      {{"plot", "s.txt", "more.txt"}, 2, "", "'more.txt'"},
      {{"plot", "nosuch.txt"}, 1, "", "cannot load nosuch.txt"},
      {{"plot", "--width=40", "s.txt", "--height", "2"},
       0,
       "s.txt: top row 7, bottom row -3\n",
       ""},
      {{"plot", "s.txt", "--svg", "s.txt"},
       1,
       "",
       "cannot save s.txt: it is the signal being drawn"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunPellory("", c.arguments);
    SCOPED_TRACE(c.arguments[0] + " " +
                 (c.arguments.size() > 1 ? c.arguments[1] : ""));
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_EQ(run.output.rfind(TextLines(c.output), 0), 0u) << run.output;
    EXPECT_NE(run.errors.find(TextLines(c.errors)), std::string::npos)
        << run.errors;
    if (c.errors[0] == '\0') {
      EXPECT_EQ(run.errors, "");
    }
    EXPECT_FALSE(std::filesystem::exists("o.txt"));
    EXPECT_EQ(ReadFile("s.txt"), kSignal);
  }
  const RunResult from_input = RunPellory(kSignal, {"info", "-"});
  EXPECT_EQ(from_input.exit_status, 0);
  EXPECT_EQ(from_input.output.rfind(TextLines("file: standard input\n"
                                              "samples: 3\nmin: -3\n"),
                                    0),
            0u)
      << from_input.output;
}

// The same values through apply and through the menus give the same file,
// bit for bit: each filter, and a chain of all three.
TEST(CommandLineTest, ApplyMatchesTheDialogue) {
  ScopedTempDir dir;
  InstallPluginFolder();
  std::mt19937 random(7);
  std::string text = "5000\n";
  for (int i = 0; i < 5000; ++i) {
    text += std::to_string(static_cast<int32_t>(random())) + "\n";
  }
  WriteFile("r.txt", text);
  const struct {
    std::vector<std::string> steps;
    const char* typed;  // the same values at the menus
  } cases[] = {
      {{"smooth=7"}, "5 1 7 "},
      {{"Quillet=0.3,5"}, "5 2 0.3 5 "},
      {{"amplify=2.5"}, "5 3 2.5 "},
      {{"amplify=3", "echo=1,1", "mirrowen=4"}, "5 3 3 5 2 1 1 5 1 4 "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"apply", "r.txt", "a.txt"};
    arguments.insert(arguments.end(), c.steps.begin(), c.steps.end());
    ASSERT_EQ(RunPellory("", arguments).exit_status, 0) << c.typed;
    RunPellory(std::string("1 r.txt ") + c.typed + "3 d.txt\n");
    EXPECT_TRUE(ReadFile("a.txt") == ReadFile("d.txt")) << c.typed;
    EXPECT_FALSE(ReadFile("a.txt") == ReadFile("r.txt")) << c.typed;
  }
}

// Audio files through apply, every container and width it writes, mono and
// stereo: what is read is what was stored, bit for bit (in process, whole
// and split across threads), and the program's filtered result is the text
// path's, channel by channel, saturated to the width; the rate, width and
// strings carry over.
TEST(CommandLineTest, AudioFormatsWidthsAndChannelsThroughApply) {
  ScopedTempDir dir;
  InstallPluginFolder();
  std::mt19937 random(5);
  for (const char* extension :
       {".wav", ".flac", ".aiff", ".au", ".caf", ".w64", ".rf64"}) {
    for (const int bits : {8, 16, 24, 32}) {
      if (std::string(extension) == ".flac" && bits == 32) continue;
      // Stereo where the containers differ in how they interleave it
      // (the RIFF family and FLAC); mono everywhere.
      const bool stereo =
          std::string(extension) == ".wav" || std::string(extension) == ".flac";
      for (const size_t width : {size_t{1}, size_t{2}}) {
        if (width == 2 && !stereo) continue;
        SCOPED_TRACE(std::string(extension) + " " + std::to_string(bits) +
                     " bits, " + std::to_string(width) + " channels");
        const int32_t high =
            static_cast<int32_t>((int64_t{1} << (bits - 1)) - 1);
        std::vector<Signal> channels(width);
        for (Signal& channel : channels) {
          ASSERT_TRUE(channel.Allocate(300));
          for (int i = 1; i <= 300; ++i) {
            channel.data()[i] = static_cast<int32_t>(
                static_cast<int64_t>(random()) % (int64_t{high} + 1));
          }
          channel.data()[1] = high;
          channel.data()[2] = -high - 1;
        }
        SignalFormat format =
            FormatForName(std::string("in") + extension, {}, bits, 22050);
        format.title = "A title";
        const std::string in = std::string("in") + extension;
        const std::vector<const Signal*> saved = {&channels[0],
                                                  &channels[width - 1]};
        int64_t clipped = -1;
        std::string err;
        ASSERT_TRUE(SaveChannels(
            in, std::span<const Signal* const>(saved.data(), width), format,
            &clipped, &err))
            << err;
        EXPECT_EQ(clipped, 0);
        std::vector<Signal> read;
        SignalFormat read_format;
        // Read whole and in parts, each through a handle of its own.
        ForEachThreadCount([&] {
          ASSERT_TRUE(LoadChannels(in, &read, &read_format, &err)) << err;
          ASSERT_EQ(read.size(), width);
          EXPECT_EQ(read_format.bits, bits);
          EXPECT_EQ(read_format.rate, 22050);
          for (size_t c = 0; c < width; ++c) {
            EXPECT_TRUE(std::equal(read[c].data(), read[c].data() + 301,
                                   channels[c].data()))
                << "channel " << c;
          }
        });
        const std::string out = std::string("out") + extension;
        ASSERT_EQ(RunPellory("", {"apply", in, out, "amplify=3"}).exit_status,
                  0);
        ASSERT_TRUE(LoadChannels(out, &read, &read_format, &err)) << err;
        EXPECT_EQ(read_format.bits, bits);
        EXPECT_EQ(read_format.rate, 22050);
        // The containers that hold strings keep them.
        if (std::string(extension) != ".au" &&
            std::string(extension) != ".w64") {
          EXPECT_EQ(read_format.title, "A title");
        }
        for (size_t c = 0; c < width; ++c) {
          std::vector<int32_t> expected =
              ApplyFilter(kAmplifyPlugin,
                          std::vector<int32_t>(channels[c].data() + 1,
                                               channels[c].data() + 301),
                          "3");
          for (int32_t& sample : expected) {
            sample = std::clamp(sample, -high - 1, high);
          }
          EXPECT_TRUE(
              std::equal(expected.begin(), expected.end(), read[c].data() + 1))
              << "channel " << c;
        }
      }
    }
  }
}

// What is refused, and why: samples that are not integer PCM, several
// channels where one is held, a width a container does not take.
TEST(CommandLineTest, AudioRefusalsSayWhy) {
  ScopedTempDir dir;
  InstallPluginFolder();
  std::vector<Signal> stereo(2);
  for (Signal& channel : stereo) ASSERT_TRUE(channel.Allocate(10));
  const std::vector<const Signal*> both = {&stereo[0], &stereo[1]};
  int64_t clipped;
  std::string err;
  ASSERT_TRUE(SaveChannels("st.wav", both, FormatForName("st.wav", {}),
                           &clipped, &err));
  SF_INFO info = {};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open("float.wav", SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const float samples[4] = {0.5f, -0.5f, 0.25f, 0};
  sf_writef_float(file, samples, 4);
  sf_close(file);
  const struct {
    std::vector<std::string> arguments;
    int exit_status;
    const char* errors;
  } cases[] = {
      {{"info", "float.wav"},
       1,
       "cannot load float.wav: 32-bit float samples: Pellory edits integer "
       "samples"},
      {{"apply", "st.wav", "st.txt"},
       1,
       "as text, which holds one channel: the input has 2"},
      {{"apply", "st.wav", "st.flac", "--bits", "32"},
       1,
       "does not take 32-bit samples"},
      {{"apply", "st.wav", "x.wav", "--bits=12"},
       2,
       "--bits takes 8, 16, 24 or 32, not '12'"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunPellory("", c.arguments);
    SCOPED_TRACE(c.arguments[1]);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_NE(run.errors.find(c.errors), std::string::npos) << run.errors;
  }
  const RunResult editor = RunPellory("1 st.wav\n");
  EXPECT_NE(editor.errors.find("cannot load st.wav: it holds 2 channels"),
            std::string::npos)
      << editor.errors;
}

#ifndef _WIN32
// The packages' README and the manual page carry --help's text: every
// form's usage line and description.
TEST(CommandLineTest, ReadmeAndManualPageCarryTheHelpText) {
  ScopedTempDir dir;
  const std::string help = RunPellory("", {"--help"}).output;
  const std::string source = PELLORY_SOURCE_DIR;
  const std::string readme = ReadFile(source + "/data/README.txt.in");
  // The manual page's text without its font changes and escapes.
  std::string manual;
  const std::string roff = ReadFile(source + "/docs/Pellory.1");
  for (size_t i = 0; i < roff.size(); ++i) {
    if (roff.compare(i, 2, "\\f") == 0) {
      i += 2;
    } else if (roff.compare(i, 2, "\\-") != 0) {
      manual += roff[i];
    }
  }
  std::istringstream lines(help);
  std::string line;
  int checked = 0;
  while (std::getline(lines, line)) {
    EXPECT_NE(readme.find(line), std::string::npos) << line;
    if (line.rfind("  ", 0) != 0) continue;
    const std::string text = line.substr(line.find_first_not_of(' '));
    EXPECT_NE(manual.find(text), std::string::npos) << text;
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

// "-" is the stream as the shell gave it: `>>` appends, a group's earlier
// and later output stays whole; a closed stream is called that. A picture
// is never written over its signal, through a link either. A hostile name
// on a pipe is written as given.
TEST(CommandLineTest, StandardStreamsAndLinksAsTheShellGivesThem) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("s.txt", kSignal);
  const std::string emulator = PELLORY_EMULATOR;
  const std::string pellory =
      (emulator.empty() ? "" : emulator + " ") + PELLORY_BIN_DIR + "/Pellory";
  const auto run = [&](const std::string& command) {
    const std::string line =
        "P='" + pellory + "'; { " + command + "; } > out 2> err";
    return std::system(line.c_str());
  };
  WriteFile("log", "one\ntwo\n");
  ASSERT_EQ(run("$P apply s.txt - amplify=2 >> log"), 0);
  EXPECT_EQ(ReadFile("log"), "one\ntwo\n3\n10\n-5\n14\n");
  ASSERT_EQ(run("echo header; $P apply s.txt - amplify=2; $P plot s.txt "
                "--svg - | head -c 5; echo; echo trailer"),
            0);
  EXPECT_EQ(ReadFile("out"), "header\n3\n10\n-5\n14\n<?xml\ntrailer\n");
  const struct {
    const char* command;
    const char* errors;
  } closed[] = {
      {"$P apply - o.txt <&-",
       "Pellory: cannot load standard input: standard input is closed\n"},
      {"$P info - <&-",
       "Pellory: cannot load standard input: standard input is closed\n"},
      {"$P apply s.txt - >&-",
       "Pellory: cannot save standard output: standard output is closed\n"},
  };
  for (const auto& c : closed) {
    EXPECT_NE(run(c.command), 0) << c.command;
    EXPECT_EQ(ReadFile("err"), c.errors) << c.command;
  }
  ASSERT_EQ(symlink("s.txt", "link.svg"), 0);
  ASSERT_EQ(link("s.txt", "hard.svg"), 0);
  for (const char* picture : {"link.svg", "hard.svg", "./s.txt"}) {
    EXPECT_NE(run("$P plot s.txt --svg " + std::string(picture)), 0);
    EXPECT_NE(ReadFile("err").find("it is the signal being drawn (s.txt)"),
              std::string::npos)
        << ReadFile("err");
    EXPECT_EQ(ReadFile("s.txt"), kSignal) << picture;
  }
  EXPECT_NE(run("$P plot - --svg s.txt < s.txt"), 0);
  EXPECT_EQ(ReadFile("s.txt"), kSignal);
  const std::string hostile = "evil\033]0;PWNED\007\033[31mRED.txt";
  WriteFile(hostile, kSignal);
  EXPECT_EQ(run("N=$(printf 'evil\\033]0;PWNED\\007\\033[31mRED.txt'); "
                "$P info \"$N\"; $P plot \"$N\" --width 300 --height 1; "
                "$P info \"${N}x\""),
            256);
  EXPECT_EQ(ReadFile("out").rfind("file: " + hostile + "\n", 0), 0u);
  EXPECT_NE(ReadFile("out").find("\n" + hostile + ": samples 1 to 3"),
            std::string::npos);
  EXPECT_EQ(ReadFile("err"), "Pellory: cannot load " + hostile +
                                 "x: No such file or "
                                 "directory\n");
}

// The SVG is XML with an SVG 1.1 root, and a real renderer draws its
// envelope from the top of the drawing to its bottom (rows 40 to 250 of
// 300); standard output stays empty.
TEST(CommandLineTest, SvgIsStandardAndDrawsTheEnvelope) {
  if (std::system("command -v rsvg-convert > /dev/null && "
                  "command -v python3 > /dev/null") != 0) {
    GTEST_SKIP() << "no rsvg-convert here (scripts/install-deps.sh)";
  }
  ScopedTempDir dir;
  std::string square = "1000\n";
  for (int i = 0; i < 1000; ++i) square += i % 2 ? "7\n" : "-7\n";
  WriteFile("w&<.txt", square);
  const RunResult run =
      RunPellory("", {"plot", "w&<.txt", "--svg", "w.svg", "--height=300"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, "");
  const std::string check = std::string("python3 ") + PELLORY_SOURCE_DIR +
                            "/tests/svg_check.py w.svg > rows";
  ASSERT_EQ(std::system(check.c_str()), 0);
  int top = -1;
  int bottom = -1;
  ASSERT_EQ(std::sscanf(ReadFile("rows").c_str(), "%d %d", &top, &bottom), 2);
  EXPECT_NEAR(top, 40, 1);
  EXPECT_NEAR(bottom, 250, 1);
}
#endif

}  // namespace
}  // namespace pellory
