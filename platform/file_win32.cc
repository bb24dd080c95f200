// Files on Windows, where a line of text ends in "\r\n". Names reach the system
// as UTF-16 (names_win32.h). A large disk file is read by mapping it a
// window at a time, anything else in chunks. A save writes a temporary file
// beside the target, in the target's own folder, and puts it in place with
// ReplaceFileW (which keeps the old file's attributes and security) or, for a
// new name, MoveFileExW; a name that is not a disk file (NUL, CON, a pipe) is
// written into directly.
#include <windows.h>

#include <algorithm>
#include <atomic>
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

// The window being read. A page of it that cannot be brought in (an I/O
// error on a network or removable drive; under Wine, a file another program
// truncated) raises an exception when touched; the handler puts a
// window of zeros in place of the view, so that the read goes on, and notes
// it, so that the load fails instead of the process.
std::atomic<uintptr_t> guarded_begin{0};
std::atomic<uintptr_t> guarded_end{0};
std::atomic<bool> guarded_window_lost{false};

LONG CALLBACK OnInPageError(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* const record = exception->ExceptionRecord;
  // Wine reports the page past a truncated file's end as a read access
  // violation; nothing else reads the window but the parser.
  const bool lost_page =
      record->NumberParameters >= 2 &&
      (record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR ||
       (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        record->ExceptionInformation[0] == 0));
  if (!lost_page) return EXCEPTION_CONTINUE_SEARCH;
  const uintptr_t at = record->ExceptionInformation[1];
  const uintptr_t begin = guarded_begin.load();
  const uintptr_t end = guarded_end.load();
  if (at < begin || at >= end) return EXCEPTION_CONTINUE_SEARCH;
  void* const window = reinterpret_cast<void*>(begin);
  if (!UnmapViewOfFile(window) ||
      VirtualAlloc(window, end - begin, MEM_RESERVE | MEM_COMMIT,
                   PAGE_READONLY) != window) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  guarded_window_lost = true;
  return EXCEPTION_CONTINUE_EXECUTION;
}

void GuardWindow(char* window, size_t size) {
  static const bool installed =
      AddVectoredExceptionHandler(1, OnInPageError) != nullptr;
  (void)installed;
  guarded_window_lost = false;
  guarded_begin.store(reinterpret_cast<uintptr_t>(window));
  guarded_end.store(reinterpret_cast<uintptr_t>(window) + size);
}

// Ends the guard; true when the window was lost.
bool UnguardWindow() {
  guarded_begin.store(0);
  guarded_end.store(0);
  return guarded_window_lost.load();
}

// The last write time of an open disk file, or 0.
uint64_t LastWriteTime(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return 0;
  return uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
         info.ftLastWriteTime.dwLowDateTime;
}

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
    modified_ = LastWriteTime(file);
  }
  mapping_ = size_ > static_cast<int64_t>(kReadChunk);
  return true;
}

// Mapping spares copying every byte of the file: a tenth of a large load
// under Wine.
char* FileReader::MapWindow(size_t size) {
  if (file_mapping_ == nullptr) {
    file_mapping_ =
        CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (file_mapping_ == nullptr) return nullptr;
  }
  void* const window = MapViewOfFile(file_mapping_, FILE_MAP_READ,
                                     static_cast<DWORD>(offset_ >> 32),
                                     static_cast<DWORD>(offset_), size);
  if (window == nullptr) return nullptr;
  GuardWindow(static_cast<char*>(window), size);
  return static_cast<char*>(window);
}

bool FileReader::SeekToOffset(std::string* err) {
  LARGE_INTEGER to;
  to.QuadPart = offset_;
  if (SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) return true;
  *err = LastErrorText();
  return false;
}

long FileReader::ReadChunk(std::string* err) {
  DWORD got = 0;
  if (!ReadFile(file_, buffer_.get(), static_cast<DWORD>(buffer_size_), &got,
                nullptr)) {
    // A pipe whose writer has gone has simply ended.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    *err = LastErrorText();
    return -1;
  }
  return static_cast<long>(got);
}

bool FileReader::ReleaseWindow(std::string* err) {
  if (window_ == nullptr) return true;
  const bool lost = UnguardWindow();
  if (lost) {
    VirtualFree(window_, 0, MEM_RELEASE);
  } else {
    UnmapViewOfFile(window_);
  }
  window_ = nullptr;
  if (lost) *err = "the file could not be read to its end";
  return !lost;
}

bool FileReader::Close(std::string* err) {
  bool whole = ReleaseWindow(err);
  if (file_mapping_ != nullptr) CloseHandle(file_mapping_);
  file_mapping_ = nullptr;
  if (whole && !failed_ && file_ != nullptr && size_ >= 0) {
    // Another program wrote to the file meanwhile: what was read may mix
    // its old and new content.
    LARGE_INTEGER size;
    if (GetFileSizeEx(file_, &size) &&
        (size.QuadPart != size_ || LastWriteTime(file_) != modified_)) {
      *err = "the file changed while it was read";
      whole = false;
    }
  }
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  return whole;
}

// A save here never rewrites a disk file in place, so it leaves no backup.
std::string InterruptedSaveBackup(const std::string&) { return ""; }

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

bool FileSaver::Open(const std::string& path, uint64_t, std::string* err) {
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
