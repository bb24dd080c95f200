// Reading files on Windows, where a line of text ends in "\r\n". Names
// reach the system as UTF-16 (names_win32.h). A large disk file is read by
// mapping it a window at a time, anything else in chunks.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/last_error_win32.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

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

}  // namespace

const std::string_view kTextLineEnd = "\r\n";

bool IsRegularFile(const std::string& path) {
  const std::wstring name = SystemName(path);
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
  const HANDLE file =
      CreateFileW(SystemName(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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
}  // namespace pellory
