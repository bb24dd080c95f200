// Files on Windows, where a line of text ends in "\r\n". Names reach the system
// as UTF-16 (names_win32.h). A save writes a temporary file beside the target,
// in the target's own folder, and puts it in place with ReplaceFileW (which
// keeps the old file's attributes and security) or, for a new name,
// MoveFileExW; a name that is not a disk file (NUL, CON, a pipe) is written
// into directly.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "platform/ending_signals.h"
#include "platform/file.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

// The system's text for the last error, without its final period.
std::string LastErrorText() {
  char text[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, GetLastError(), 0, text, sizeof(text), nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason.empty() ? "Windows error " + std::to_string(GetLastError())
                        : reason;
}

// Files are read through a buffer of this size at most.
constexpr int64_t kReadChunk = 256 << 10;

// The full path of `path`, which a drive-relative name ("C:name") needs to
// say which folder it is in; `path` itself when Windows cannot tell.
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

// The named temporary file, while one exists, for the cleanup that removes
// it should the program be ended meanwhile. The cleanup runs on the console
// control handler's own thread while the main thread may hold the file
// open: the file is opened with delete sharing, so that the deletion goes
// through, and the file goes with the process's last handle to it.
wchar_t pending_temporary[32768];

void RemovePendingTemporary() { DeleteFileW(pending_temporary); }

}  // namespace

const std::string_view kTextLineEnd = "\r\n";

bool IsRegularFile(const std::string& path) {
  const std::wstring name = WideName(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  const HANDLE file =
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return disk;
}

FileReader::FileReader() = default;

FileReader::~FileReader() {
  std::string ignored;
  Close(&ignored);
}

bool FileReader::Open(const std::string& path, std::string* err) {
  const HANDLE file = CreateFileW(
      WideName(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *err = LastErrorText();
    return false;
  }
  file_ = file;
  LARGE_INTEGER size;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
    size_ = size.QuadPart;
  }
  return true;
}

// Files are read, never mapped: under Wine, mapping a window at a time
// loads no faster than reading, and a read copy cannot change underneath.
long FileReader::Next(const char** data, std::string* err) {
  if (buffer_ == nullptr) {
    // A small file needs no more than its own size, and one byte to meet
    // its end in the same read.
    buffer_size_ =
        size_ >= 0
            ? static_cast<size_t>(std::min<int64_t>(kReadChunk, size_ + 1))
            : kReadChunk;
    buffer_.reset(new char[buffer_size_]);
  }
  DWORD got = 0;
  if (!ReadFile(file_, buffer_.get(), static_cast<DWORD>(buffer_size_), &got,
                nullptr)) {
    // A pipe whose writer has gone has simply ended.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    *err = LastErrorText();
    return -1;
  }
  *data = buffer_.get();
  return static_cast<long>(got);
}

bool FileReader::Close(std::string*) {
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  return true;
}

FileSaver::~FileSaver() { Discard(); }

bool FileSaver::Fail(std::string* err) {
  *err = LastErrorText();
  failed_ = true;
  Discard();
  return false;
}

void FileSaver::Discard() {
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    DeleteFileW(temporary_.c_str());
    DisarmEndingSignals();
    temporary_.clear();
  }
}

bool FileSaver::Open(const std::string& path, std::string* err) {
  Discard();
  mode_ = Mode::kNone;
  failed_ = false;
  target_ = FullPath(WideName(path));
  // Whether the process may write the file is the file's to say, exactly
  // as for a truncating open: a read-only file is never replaced.
  const HANDLE existing = CreateFileW(
      target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Fail(err);
    keep_existing_ = false;
  } else if (GetFileType(existing) != FILE_TYPE_DISK) {
    mode_ = Mode::kDirect;
    file_ = existing;
    return true;
  } else {
    CloseHandle(existing);
    keep_existing_ = true;
  }
  return OpenReplacement(err);
}

bool FileSaver::OpenReplacement(std::string* err) {
  mode_ = Mode::kReplace;
  static std::mt19937 random(std::random_device{}() ^ GetCurrentProcessId());
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  // Beside the target in its own folder, so that the rename stays on one
  // volume whatever the working folder is.
  const std::wstring folder = target_.substr(0, target_.find_last_of(L"\\/"));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = folder + L"\\.pellory-save-";
    for (int i = 0; i < 6; ++i)
      name += static_cast<wchar_t>(kLetters[random() % 36]);
    EndingSignalsHeldBack held;
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return Fail(err);
    }
    file_ = file;
    temporary_ = name;
    const size_t kept = std::min(name.size(), std::size(pending_temporary) - 1);
    name.copy(pending_temporary, kept);
    pending_temporary[kept] = L'\0';
    ArmEndingSignals(RemovePendingTemporary);
    return true;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return Fail(err);
}

bool FileSaver::Reserve(uint64_t, std::string*) { return true; }

bool FileSaver::Write(const char* data, size_t size, std::string* err) {
  if (file_ == nullptr || failed_) return false;
  const char* next = data;
  size_t left = size;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file_, next, static_cast<DWORD>(left), &written, nullptr)) {
      return Fail(err);
    }
    next += written;
    left -= written;
  }
  return true;
}

bool FileSaver::Commit(std::string* err) {
  if (file_ == nullptr || failed_) return false;
  if (mode_ == Mode::kDirect) {
    const HANDLE file = file_;
    file_ = nullptr;
    if (!CloseHandle(file)) return Fail(err);
    return true;
  }
  if (!FlushFileBuffers(file_)) return Fail(err);
  const HANDLE file = file_;
  file_ = nullptr;
  if (!CloseHandle(file)) return Fail(err);
  return PutInPlace(err);
}

bool FileSaver::PutInPlace(std::string* err) {
  EndingSignalsHeldBack held;
  const bool placed =
      keep_existing_
          ? ReplaceFileW(target_.c_str(), temporary_.c_str(), nullptr,
                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
          : MoveFileExW(temporary_.c_str(), target_.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!placed) return Fail(err);
  temporary_.clear();
  DisarmEndingSignals();
  return true;
}

}  // namespace pellory
