// The program on a real terminal (a pseudo-terminal): the screen clears and
// the single-key wait.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_util.h"

namespace pellory {
namespace {

constexpr char kClear[] = "\033[H\033[2J\033[3J";

const std::string kProgram = std::string(PELLORY_BIN_DIR) + "/Pellory";

class TerminalSession {
 public:
  // The program itself (with `arguments`), or, `in_shell`, an interactive
  // shell with job control to start it from; on a terminal `columns` wide,
  // where given.
  explicit TerminalSession(bool in_shell = false, unsigned short columns = 0,
                           std::vector<std::string> arguments = {}) {
    winsize size = {24, columns, 0, 0};
    pid_ = forkpty(&master_, nullptr, nullptr, columns > 0 ? &size : nullptr);
    if (pid_ == 0) {
      if (in_shell) {
        setenv("PS1", "$ ", 1);
        execl("/bin/bash", "bash", "--norc", "--noprofile", "-i",
              static_cast<char*>(nullptr));
      }
      std::vector<char*> argv = {const_cast<char*>("Pellory")};
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
  }
  ~TerminalSession() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0; }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()),
              static_cast<ssize_t>(keys.size()));
  }

  // Reads output until `text` has appeared at or after `from`, for at most
  // `patience`.
  bool WaitForOutput(
      const std::string& text, size_t from = 0,
      std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (output_.find(text, from) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd ready = {master_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof(buffer));
      if (got <= 0) return false;
      output_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

  // Waits until the terminal's line discipline has (or has not) canonical
  // input and echo, as the program set it.
  bool WaitForRawMode(bool raw) {
    for (int i = 0; i < 1000; ++i) {
      termios settings;
      if (tcgetattr(master_, &settings) != 0) return false;
      const bool is_raw = (settings.c_lflag & (ICANON | ECHO)) == 0;
      if (is_raw == raw) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  int WaitForExit() {
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    return status;
  }

  const std::string& output() const { return output_; }

  void Signal(int signal_number) { kill(pid_, signal_number); }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  std::string output_;
};

TEST(TerminalTest, ClearsAfterActionsAndWaitsForOneKey) {
  ScopedTempDir dir;
  TerminalSession session;
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitForOutput("4 - Display Current Signal File"));
  // No clear before the first menu.
  EXPECT_EQ(session.output().rfind("Current file loaded = None", 0), 0u);
  session.Type("4\n");
  ASSERT_TRUE(session.WaitForRawMode(true));
  const size_t before_key = session.output().size();
  // Ctrl-Z is no key press: it stops the process where a shell can resume
  // it (not here, in a process group without one); the wait goes on.
  session.Type("\x1a");
  EXPECT_FALSE(session.WaitForOutput(kClear, before_key,
                                     std::chrono::milliseconds(300)));
  ASSERT_TRUE(session.WaitForRawMode(true));
  session.Type("q");
  ASSERT_TRUE(session.WaitForOutput(std::string(kClear) + "Current file"));
  // The key is neither echoed nor left for the menu; the terminal is back.
  EXPECT_EQ(session.output().find('q', before_key), std::string::npos);
  ASSERT_TRUE(session.WaitForRawMode(false));
  // A selection typed on the line is echoed, and an invalid one clears.
  // The echo and the program's own output may interleave either way.
  const size_t before_line = session.output().size();
  session.Type("x\n");
  ASSERT_TRUE(session.WaitForOutput("x\r\n", before_line));
  ASSERT_TRUE(session.WaitForOutput(kClear, before_line));
  session.Type("\x04");
  EXPECT_EQ(session.WaitForExit(), 0);
}

TEST(TerminalTest, OutcomesStayAboveTheMenuAndNamesAreShownSafely) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("DLL/evil\033]0;PWNED\007\033[2J", "");
  // C1 controls, raw and in UTF-8; a letter whose second byte is in their
  // range stays.
  WriteFile(
      "DLL/a\x9b"
      "b",
      "");
  WriteFile(
      "DLL/c\xc2\x9b"
      "d",
      "");
  WriteFile("DLL/\xc4\x81", "");
  WriteFile("sig.txt", "1\n5\n");
  TerminalSession session;
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitForOutput("4 - Display Current Signal File"));
  session.Type("1\nnosuch.txt\n");
  // The message, then the reason on standard error, then the menu.
  ASSERT_TRUE(session.WaitForOutput(
      std::string(kClear) + "File could not be loaded\r\n" +
      "Pellory: cannot load nosuch.txt: No such file or directory\r\n" +
      "Current file loaded = nosuch.txt"));
  session.Type("1\nsig.txt\n5\n");
  ASSERT_TRUE(session.WaitForOutput("7 - \xc4\x81\r\n"));
  for (const char* shown :
       {"1 - a?b\r\n", "2 - c?d\r\n", "3 - evil?]0;PWNED??[2J\r\n"}) {
    EXPECT_NE(session.output().find(shown), std::string::npos) << shown;
  }
  EXPECT_EQ(session.output().find("PWNED\007"), std::string::npos);
}

// The command-line forms on a terminal 20 columns wide: a hostile name
// reaches it escaped, in results and in messages, and plot's every line
// fits.
TEST(TerminalTest, FormsShowNamesSafelyAndFitTheTerminal) {
  ScopedTempDir dir;
  const std::string hostile = "evil\033]0;PWNED\007\033[31mRED.txt";
  WriteFile(hostile, "4\n5\n-3\n7\n1000000\n");
  const std::string shown = "evil?]0;PWNED??[31mRED.txt";
  const struct {
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {{"info", hostile}, "file: " + shown + "\r\n"},
      {{"info", hostile + "\xc2\x9b"},
       "Pellory: cannot load " + shown + "?: No such file"},
      {{"plot", hostile}, "\r\n"},
  };
  for (const auto& c : cases) {
    TerminalSession session(false, 20, c.arguments);
    ASSERT_TRUE(session.started());
    EXPECT_TRUE(session.WaitForOutput(c.expected)) << session.output();
    session.WaitForExit();
    const std::string& output = session.output();
    EXPECT_EQ(output.find('\033'), std::string::npos) << output;
    if (c.arguments[0] != "plot") continue;
    // Each line within 20 columns: braille characters are 3 bytes each.
    size_t start = 0;
    for (size_t end; (end = output.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      int columns = 0;
      for (size_t i = start; i < end; ++i) {
        columns += (static_cast<unsigned char>(output[i]) & 0xc0) != 0x80;
      }
      EXPECT_LE(columns, 20) << output.substr(start, end - start);
    }
  }
}

// A key that sends a sequence (Insert, F5, an arrow, Alt with a key, a
// letter of two UTF-8 bytes) is one key press, and a paste ends the wait
// and nothing else: nothing of either reaches the menus, which would save,
// load or redraw.
TEST(TerminalTest, AKeyPressIsItsWholeSequence) {
  ScopedTempDir dir;
  TerminalSession session;
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitForOutput("4 - Display Current Signal File"));
  for (const char* key : {"\x1b[2~", "\x1b[15~", "\x1bOA", "\x1b[[A", "\x1bx",
                          "\xc3\xa9", "17 -4 250 12 1 3 9\n"}) {
    session.Type("4\n");
    ASSERT_TRUE(session.WaitForRawMode(true));
    const size_t before = session.output().size();
    session.Type(key);
    ASSERT_TRUE(session.WaitForOutput(kClear, before));
    const size_t menu = session.output().find(kClear, before) + 1;
    EXPECT_FALSE(
        session.WaitForOutput(kClear, menu, std::chrono::milliseconds(300)))
        << "key " << key + 1;
  }
}

// Ctrl-Z at the key wait stops the whole job, as a terminal program's
// would, so that the shell gets the terminal back even with the editor in a
// pipeline; fg brings the wait back.
TEST(TerminalTest, StopAtTheKeyWaitStopsTheWholeJob) {
  ScopedTempDir dir;
  TerminalSession shell(true);
  ASSERT_TRUE(shell.started());
  ASSERT_TRUE(shell.WaitForOutput("$ "));
  shell.Type("'" + kProgram + "' | cat\n");
  ASSERT_TRUE(shell.WaitForOutput("4 - Display Current Signal File"));
  shell.Type("4\n");
  ASSERT_TRUE(shell.WaitForRawMode(true));
  const size_t before = shell.output().size();
  shell.Type("\x1a");
  ASSERT_TRUE(shell.WaitForOutput("Stopped", before));
  ASSERT_TRUE(shell.WaitForOutput("$ ", shell.output().find("Stopped")));
  const size_t stopped = shell.output().size();
  shell.Type("fg\n");
  ASSERT_TRUE(shell.WaitForOutput("| cat", stopped));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  shell.Type("q");
  // Standard output is the pipe: the next menu comes without a clear.
  ASSERT_TRUE(shell.WaitForOutput("Current file", stopped));
  const size_t menu = shell.output().size();
  shell.Type("\x04");
  ASSERT_TRUE(shell.WaitForOutput("$ ", menu));
}

// An action that runs longer than a second says what it does on a status
// line (here a load waiting for its FIFO's writer), cut to the terminal's
// width (20 columns), erased before a stop (Ctrl-Z: nothing stops here,
// without a shell) and before the next screen.
TEST(TerminalTest, ALongActionShowsAStatusLineUntilItEnds) {
  ScopedTempDir dir;
  ASSERT_EQ(mkfifo("slow.fifo", 0600), 0);
  TerminalSession session(false, 20);
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitForOutput("4 - Display Current Signal File"));
  session.Type("1\nslow.fifo\n");
  const std::string status = "\rLoading slow.fifo.";
  ASSERT_TRUE(session.WaitForOutput(status));
  const size_t shown = session.output().size();
  session.Type("\x1a");
  // 19 columns and the two of the echoed ^Z.
  const std::string erased = "\r" + std::string(19, ' ') + "\r";
  ASSERT_TRUE(session.WaitForOutput(erased, shown));
  ASSERT_TRUE(session.WaitForOutput(status, session.output().find(erased)));
  const int fifo = open("slow.fifo", O_WRONLY);
  ASSERT_EQ(write(fifo, "1\n5\n", 4), 4);
  close(fifo);
  ASSERT_TRUE(session.WaitForOutput(std::string(kClear) + "File loaded"));
  const std::string& output = session.output();
  const size_t cleared = output.find(kClear + std::string("File loaded"));
  EXPECT_LT(output.rfind(erased, cleared), cleared);
  for (size_t at = output.find(status); at < cleared;
       at = output.find(status, at + 1)) {
    // 19 columns, then the next redraw, the erasing or the echoed ^Z.
    EXPECT_EQ(output.substr(at, 20), "\rLoading slow.fifo..");
    EXPECT_TRUE(output[at + 20] == '\r' || output[at + 20] == '^');
  }
}

// Ctrl-C typed at the key wait, or a signal sent from outside: the process
// ends by that signal, and the terminal has its settings back.
TEST(TerminalTest, EndingDuringTheKeyWaitRestoresTheTerminal) {
  const struct {
    int signal_number;
    bool typed;
  } ways[] = {{SIGINT, true}, {SIGTERM, false}, {SIGHUP, false}};
  for (const auto& way : ways) {
    ScopedTempDir dir;
    TerminalSession session;
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.WaitForOutput("4 - Display Current Signal File"));
    session.Type("4\n");
    ASSERT_TRUE(session.WaitForRawMode(true));
    if (way.typed) {
      session.Type("\x03");
    } else {
      session.Signal(way.signal_number);
    }
    const int status = session.WaitForExit();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == way.signal_number)
        << status;
    EXPECT_TRUE(session.WaitForRawMode(false)) << way.signal_number;
  }
}

}  // namespace
}  // namespace pellory
