#include <windows.h>
#include <io.h>

#include <cstdio>
#include <stdexcept>

#include "host_system.h"

namespace wcxhost::sys {

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

}  // namespace wcxhost::sys
