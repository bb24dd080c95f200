// Reading files on Windows, where a line of text ends in "\r\n". Names
// reach the system as UTF-16 (names_win32.h).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/last_error_win32.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

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

namespace {

// The file's volume and index, which name it whatever the path; false
// where it cannot be opened.
bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  if (path == kStandardInputName) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    return input != nullptr && input != INVALID_HANDLE_VALUE &&
           GetFileInformationByHandle(input, info);
  }
  const HANDLE file =
      CreateFileW(SystemName(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, info);
  CloseHandle(file);
  return known;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return IdentityOf(a, &first) && IdentityOf(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool FileReader::Open(const std::string& path, std::string* err) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (path == kStandardInputName) {
    const HANDLE process = GetCurrentProcess();
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!IsOpenHandle(input)) {
      *err = "standard input is closed";
      return false;
    }
    if (!DuplicateHandle(process, input, process, &file, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      file = INVALID_HANDLE_VALUE;
    }
  } else if (path.find('\0') != std::string::npos) {
    // The system would take the name only up to the NUL: another file.
    *err = kNameWithNul;
    return false;
  } else {
    file = CreateFileW(SystemName(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    *err = LastErrorText();
    return false;
  }
  file_ = file;
  LARGE_INTEGER size;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
    // A file given as standard input is read from where it stands.
    LARGE_INTEGER position = {};
    if (path == kStandardInputName &&
        SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
      start_ = std::min(position.QuadPart, size.QuadPart);
    }
    size_ = size.QuadPart - start_;
    modified_ = LastWriteTime(file);
  }
  batches_ = size_ > static_cast<int64_t>(kReadChunk);
  return true;
}

// A synchronous handle reads at the given offset (and leaves its position
// after what it read, so a disk file is read by offset throughout); the
// system lets one read wait for another on the same handle where it must.
long FileReader::ReadAt(char* into, size_t size, int64_t offset,
                        std::string* err) const {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(file_, into, static_cast<DWORD>(size), &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    *err = LastErrorText();
    return -1;
  }
  return static_cast<long>(got);
}

long FileReader::ReadChunk(std::string* err) {
  // A disk file at the offset handed out so far: a read at an offset
  // (ReadFrom) moves a synchronous handle's position.
  if (size_ >= 0)
    return ReadAt(buffer_.get(), buffer_size_, start_ + offset_, err);
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

bool FileReader::Close(std::string* err) {
  bool whole = true;
  if (!failed_ && file_ != nullptr && size_ >= 0) {
    // Another program wrote to the file meanwhile: what was read may mix
    // its old and new content.
    LARGE_INTEGER size;
    if (GetFileSizeEx(file_, &size) && (size.QuadPart != start_ + size_ ||
                                        LastWriteTime(file_) != modified_)) {
      *err = "the file changed while it was read";
      whole = false;
    }
  }
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  return whole;
}
}  // namespace pellory
