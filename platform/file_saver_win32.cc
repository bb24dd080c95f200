// Saving files on Windows. A save writes a temporary file beside the target,
// in the target's own folder, and puts it in place with ReplaceFileW or, for
// a new name, MoveFileExW; a name that is not a disk file (NUL, CON, a pipe)
// is written into directly.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "platform/ending_signals.h"
#include "platform/file.h"
#include "platform/last_error_win32.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

// The named temporary file, while one exists, for the cleanup that removes
// it should the program be ended meanwhile. The cleanup runs on the console
// control handler's own thread while the main thread may hold the file
// open: the file is opened with delete sharing, so that the deletion goes
// through, and the file goes with the process's last handle to it.
wchar_t pending_temporary[32768];

void RemovePendingTemporary() { DeleteFileW(pending_temporary); }

// The attributes a saved file keeps that the system does not set itself.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

// A save here never rewrites a disk file in place, so it leaves no backup.
std::string InterruptedSaveBackup(const std::string&) { return ""; }

FileSaver::~FileSaver() { Discard(); }

bool FileSaver::Fail(std::string* err) {
  *err = LastErrorText();
  if (keep_existing_) *err += "; the file keeps its old content";
  failed_ = true;
  Discard();
  return false;
}

void FileSaver::Discard() {
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    DeleteFileW(LongPathForm(temporary_).c_str());
    DisarmEndingSignals(RemovePendingTemporary);
    temporary_.clear();
  }
}

bool FileSaver::Open(const std::string& path, uint64_t, std::string* err) {
  Discard();
  mode_ = Mode::kNone;
  failed_ = false;
  keep_existing_ = false;
  if (path == kStandardOutputName) {
    // Written into where it stands, as a pipe or the console is.
    const HANDLE process = GetCurrentProcess();
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!IsOpenHandle(output)) {
      *err = "standard output is closed";
      failed_ = true;
      return false;
    }
    HANDLE out;
    if (!DuplicateHandle(process, output, process, &out, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return Fail(err);
    }
    mode_ = Mode::kDirect;
    file_ = out;
    return true;
  }
  if (path.find('\0') != std::string::npos) {
    // The system would take the name only up to the NUL: another file.
    *err = kNameWithNul;
    failed_ = true;
    return false;
  }
  target_ = FullPath(WideName(path));
  // Whether the process may write the file is the file's to say, exactly
  // as for a truncating open: a read-only file is never replaced.
  const HANDLE existing =
      CreateFileW(LongPathForm(target_).c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Fail(err);
    return OpenReplacement(err);
  }
  if (GetFileType(existing) != FILE_TYPE_DISK) {
    mode_ = Mode::kDirect;
    file_ = existing;
    return true;
  }
  CloseHandle(existing);
  keep_existing_ = true;
  // The file keeps its own name, whatever spelling of it was typed, and its
  // attributes (hidden, system), which not every ReplaceFileW carries over.
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(LongPathForm(target_).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    target_ =
        target_.substr(0, target_.find_last_of(L"\\/") + 1) + found.cFileName;
  }
  attributes_ = GetFileAttributesW(LongPathForm(target_).c_str());
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
    const HANDLE file = CreateFileW(
        LongPathForm(name).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return Fail(err);
    }
    file_ = file;
    temporary_ = name;
    // The system removes it when the last handle goes, however the process
    // ends (a closed console window, a log-off, End task), until it is
    // complete.
    FILE_DISPOSITION_INFO remove = {TRUE};
    if (!SetFileInformationByHandle(file, FileDispositionInfo, &remove,
                                    sizeof(remove))) {
      return Fail(err);
    }
    const std::wstring system_name = LongPathForm(name);
    const size_t kept =
        std::min(system_name.size(), std::size(pending_temporary) - 1);
    system_name.copy(pending_temporary, kept);
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
  EndingSignalsHeldBack held;
  FILE_DISPOSITION_INFO keep = {FALSE};
  if (!SetFileInformationByHandle(file_, FileDispositionInfo, &keep,
                                  sizeof(keep))) {
    return Fail(err);
  }
  const HANDLE file = file_;
  file_ = nullptr;
  if (!CloseHandle(file)) return Fail(err);
  return PutInPlace(err);
}

bool FileSaver::PutInPlace(std::string* err) {
  EndingSignalsHeldBack held;
  const std::wstring target = LongPathForm(target_);
  const std::wstring temporary = LongPathForm(temporary_);
  const bool placed =
      keep_existing_
          ? ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
          : MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!placed) return Fail(err);
  temporary_.clear();
  DisarmEndingSignals(RemovePendingTemporary);
  if (keep_existing_ && attributes_ != INVALID_FILE_ATTRIBUTES) {
    // The content is in place: an attribute that cannot be set again does
    // not fail the save.
    SetFileAttributesW(target.c_str(), attributes_ & kKeptAttributes);
  }
  return true;
}

}  // namespace pellory
