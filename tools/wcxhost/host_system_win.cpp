#include <windows.h>
#include <io.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "host_system.h"

namespace wcxhost::sys {

namespace {
// Names from the command line and from the plug-in are in the ANSI code page,
// and std::filesystem converts narrow paths with the C library's multibyte
// conversion: the user's locale makes that the ANSI code page before main
// runs (the "C" locale would take each byte for a character).
[[maybe_unused]] const bool kAnsiPaths = std::setlocale(LC_CTYPE, "") != nullptr;
}  // namespace

namespace {
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}
}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {
  if (handle_ == nullptr) throw std::runtime_error(SystemMessage(GetLastError()));
}

DynamicLibrary::~DynamicLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

namespace {
void (*interrupt_handler)() = nullptr;
volatile LONG interrupts = 0;

BOOL WINAPI OnConsoleCtrl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second one falls through to the default handler, which ends the process.
  if (InterlockedIncrement(&interrupts) > 1) return FALSE;
  interrupt_handler();
  return TRUE;
}
}  // namespace

void OnInterrupt(void (*handler)()) {
  interrupt_handler = handler;
  SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
}

std::string ExecutablePath() {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

std::tm LocalTime(std::time_t time) {
  std::tm result{};
  localtime_s(&result, &time);
  return result;
}

std::vector<FolderChild> ReadFolder(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<FolderChild> children;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code unknown;
    FolderChild child{it->path().filename()};
    if (!it->is_symlink(unknown) && it->is_directory(unknown)) {
      child.kind = FolderChild::Kind::kFolder;
    } else if (it->is_regular_file(unknown)) {
      child.kind = FolderChild::Kind::kFile;
      const uintmax_t size = it->file_size(unknown);
      child.size = unknown ? 0 : size;
    }
    children.push_back(std::move(child));
  }
  return children;
}

std::string PathString(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

std::u16string ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return std::u16string(wide.begin(), wide.end());
}

namespace {

// The character's exact bytes in the ANSI code page; nullopt when the code
// page has none, or when they would read as a control character or as one
// of the characters names hold only as escapes (a double-byte trail byte).
std::optional<std::string> ExactAnsi(std::u16string_view character) {
  if (character[0] < 0x80) return std::string(1, static_cast<char>(character[0]));
  char bytes[8];
  BOOL inexact = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS,
                                         reinterpret_cast<const wchar_t*>(character.data()),
                                         static_cast<int>(character.size()), bytes, sizeof bytes, nullptr, &inexact);
  if (length <= 0 || inexact) return std::nullopt;
  const std::string exact(bytes, static_cast<size_t>(length));
  for (char byte : exact)
    if (static_cast<unsigned char>(byte) < 0x20 || std::strchr("\"*<>?|/\\:%#", byte)) return std::nullopt;
  return exact;
}

}  // namespace

std::string FromWide(std::u16string_view text) {
  // What the code page cannot hold goes as the #XXXX escapes of its units,
  // as the plug-ins' 8-bit functions show it; they take the escapes back.
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t units = i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
    const std::u16string_view character = text.substr(i, units);
    if (std::optional<std::string> bytes = ExactAnsi(character)) {
      out += *bytes;
    } else {
      for (char16_t unit : character) {
        char escape[6];
        std::snprintf(escape, sizeof escape, "#%04X", static_cast<unsigned>(unit));
        out += escape;
      }
    }
    i += units;
  }
  return out;
}

}  // namespace wcxhost::sys
