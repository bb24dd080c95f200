#include "host/editor/status_line.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>

#include "cpu/threads.h"

namespace pellory {

// What the action's thread and the thread that draws the line share: the
// drawing thread writes only while it holds the mutex and the action is
// not over, so once the destructor has marked it over, it never writes
// again (it may still be asleep, and goes when it wakes).
struct StatusLine::Shared {
  std::mutex mutex;
  std::condition_variable over_now;
  bool over = false;
  // Made and ended on the action's thread: it holds the process's handlers
  // for a stop or an ending signal while the line is up.
  std::unique_ptr<LineInPlace> line;
  const Console* console = nullptr;
  std::string doing;
  const Progress* progress = nullptr;
  std::chrono::steady_clock::time_point start;
};

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(250);

std::string Text(const StatusLine::Shared& shared) {
  std::string text = shared.doing;
  text += "... ";
  const int64_t total =
      shared.progress != nullptr ? shared.progress->total.load() : 0;
  if (total > 0) {
    const int64_t done = shared.progress->done.load();
    text += std::to_string(std::min<int64_t>(done * 100 / total, 100));
    text += '%';
  } else {
    // The time the action has run, less any time the process was stopped.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - shared.start -
        shared.line->StoppedTime());
    text += std::to_string(seconds.count());
    text += " s";
  }
  return text;
}

// `text` cut to fit the terminal's width, which may have changed since
// the last redraw, short of its last column (a terminal may wrap a line
// that reaches it): a column a character, never a UTF-8 letter cut in two.
std::string FittedToTerminal(const Console& console, std::string text) {
  const int columns = TerminalColumns(console);
  if (columns <= 1) return text;
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xc0) == 0x80) continue;
    if (characters == columns - 1) {
      text.resize(i);
      return text;
    }
    ++characters;
  }
  return text;
}

void DrawUntilOver(const std::shared_ptr<StatusLine::Shared>& shared) {
  std::unique_lock<std::mutex> lock(shared->mutex);
  auto next = shared->start + kQuietStart;
  while (
      !shared->over_now.wait_until(lock, next, [&] { return shared->over; })) {
    shared->line->Draw(FittedToTerminal(*shared->console, Text(*shared)));
    next = std::chrono::steady_clock::now() + kRedraw;
  }
}

}  // namespace

StatusLine::StatusLine(const Console& console, std::string doing,
                       const Progress* progress) {
  if (!console.output_is_terminal) return;
  console.out.flush();
  shared_ = std::make_shared<Shared>();
  shared_->line = std::make_unique<LineInPlace>(console);
  shared_->console = &console;
  shared_->doing = std::move(doing);
  shared_->progress = progress;
  shared_->start = std::chrono::steady_clock::now();
  // Without a thread to draw it, the action simply runs without the line.
  if (!StartHelperThread([shared = shared_] { DrawUntilOver(shared); })) {
    shared_.reset();
  }
}

StatusLine::~StatusLine() {
  if (shared_ == nullptr) return;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->over = true;
  shared_->over_now.notify_one();
  shared_->line.reset();
}

std::string Grouped(int64_t value) {
  const std::string digits = std::to_string(value);
  const size_t sign = value < 0 ? 1 : 0;
  std::string grouped = digits.substr(0, sign);
  for (size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace pellory
