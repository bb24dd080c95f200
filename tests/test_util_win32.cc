// Running the real program on Windows: standard input, output and error
// redirected to files, as a pipe from a shell would give them.
#include <windows.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

HANDLE InheritableFile(const char* path, bool write) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  return CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Runs `program` (the built Pellory when empty) on `input`. With
// `read_before_closing` 0 or more, its standard output is a pipe whose
// reader reads that many bytes and goes.
RunResult RunPelloryAt(const std::string& input, const std::wstring& program,
                       int read_before_closing,
                       const std::vector<std::string>& arguments) {
  WriteFile(".pellory-input", input);
  RunResult result = {"", "", -1, 0};
  {
    const HANDLE in = InheritableFile(".pellory-input", false);
    HANDLE out = nullptr;
    HANDLE reader = nullptr;
    if (read_before_closing >= 0) {
      SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
      CreatePipe(&reader, &out, &inherit, 0);
      SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    } else {
      out = InheritableFile(".pellory-output", true);
    }
    const HANDLE err = InheritableFile(".pellory-errors", true);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    const std::wstring path =
        program.empty()
            ? (std::filesystem::path(PELLORY_BIN_DIR) / "Pellory.exe").wstring()
            : program;
    std::wstring command = L"\"" + path + L"\"";
    for (const std::string& argument : arguments) {
      command += L" \"" + std::filesystem::path(argument).wstring() + L"\"";
    }
    PROCESS_INFORMATION process;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, nullptr, &startup, &process)) {
      if (reader != nullptr) {
        std::string taken(static_cast<size_t>(read_before_closing), '\0');
        DWORD got = 0;
        for (DWORD at = 0; at < taken.size(); at += got) {
          if (!::ReadFile(reader, taken.data() + at,
                          static_cast<DWORD>(taken.size() - at), &got,
                          nullptr) ||
              got == 0) {
            break;
          }
        }
        CloseHandle(reader);
      }
      if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exit_status = static_cast<int>(code);
      } else {
        TerminateProcess(process.hProcess, 1);
      }
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
  }
  result.output = ReadFile(".pellory-output");
  result.errors = ReadFile(".pellory-errors");
  for (const char* file :
       {".pellory-input", ".pellory-output", ".pellory-errors"}) {
    std::filesystem::remove(file);
  }
  return result;
}

RunResult RunPellory(const std::string& input,
                     const std::vector<std::string>& arguments) {
  return RunPelloryAt(input, L"", -1, arguments);
}

std::string TextLines(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}

}  // namespace pellory
