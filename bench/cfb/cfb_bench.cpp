// The workloads that run_cfb_bench.sh times against other tools, all through
// the COM-shaped API the plug-in uses, with its 61440-byte transfers.
//   cfb_bench read FILE STREAM OUT   copy a root stream to a disk file
//   cfb_bench write SRC OUT          store a disk file as a stream of a new file
//   cfb_bench create N OUT           N streams of 100 bytes; prints ns per stream
//   cfb_bench enum FILE              enumerate the root's children
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/ole.h"
#include "platform/os.h"

namespace {

using platform::ComPtr;
constexpr ULONG kChunk = 61440;
constexpr DWORD kChild = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

std::u16string Wide(const char* text) {
  return platform::AnsiToWide(text, platform::CodePage::kAnsi);
}

[[noreturn]] void Die(const char* what, HRESULT hr) {
  std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
  std::exit(1);
}

void Check(const char* what, HRESULT hr) {
  if (FAILED(hr)) Die(what, hr);
}

int Read(const char* file, const char* stream_name, const char* out) {
  ComPtr<IStorage> root;
  Check("open", StgOpenStorage(Wide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                               nullptr, 0, root.Receive()));
  ComPtr<IStream> stream;
  Check("open stream", root->OpenStream(Wide(stream_name).c_str(), nullptr,
                                        STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Receive()));
  const int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Die("create output", 0);
  std::vector<char> buffer(kChunk);
  for (;;) {
    ULONG got = 0;
    Check("read", stream->Read(buffer.data(), kChunk, &got));
    if (got == 0) break;
    if (write(fd, buffer.data(), got) != static_cast<ssize_t>(got)) Die("write output", 0);
  }
  close(fd);
  return 0;
}

int Write(const char* source, const char* out) {
  const int fd = open(source, O_RDONLY);
  if (fd < 0) Die("open source", 0);
  ComPtr<IStorage> root;
  Check("create", StgCreateDocfile(Wide(out).c_str(), STGM_CREATE | kChild, 0, root.Receive()));
  ComPtr<IStream> stream;
  Check("create stream", root->CreateStream(u"data", STGM_CREATE | kChild, 0, 0, stream.Receive()));
  std::vector<char> buffer(kChunk);
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), kChunk);
    if (got < 0) Die("read source", 0);
    if (got == 0) break;
    ULONG written = 0;
    Check("write", stream->Write(buffer.data(), static_cast<ULONG>(got), &written));
  }
  close(fd);
  stream.Reset();
  root.Reset();  // commits and syncs
  return 0;
}

int Create(long count, const char* out) {
  const auto start = std::chrono::steady_clock::now();
  ComPtr<IStorage> root;
  Check("create", StgCreateDocfile(Wide(out).c_str(), STGM_CREATE | kChild, 0, root.Receive()));
  const std::string payload(100, 'x');
  for (long i = 0; i < count; ++i) {
    const std::u16string name = Wide(("stream" + std::to_string(i)).c_str());
    ComPtr<IStream> stream;
    Check("create stream", root->CreateStream(name.c_str(), STGM_CREATE | kChild, 0, 0,
                                              stream.Receive()));
    ULONG written = 0;
    Check("write", stream->Write(payload.data(), 100, &written));
  }
  root.Reset();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() -
                                                             start).count();
  std::printf("%.1f\n", ns / static_cast<double>(count));
  return 0;
}

int Enumerate(const char* file) {
  ComPtr<IStorage> root;
  Check("open", StgOpenStorage(Wide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                               nullptr, 0, root.Receive()));
  ComPtr<IEnumSTATSTG> it;
  Check("enumerate", root->EnumElements(0, nullptr, 0, it.Receive()));
  STATSTG stat;
  ULONG fetched = 0;
  long count = 0;
  while (it->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
    CoTaskMemFree(stat.pwcsName);
    ++count;
  }
  std::printf("%ld\n", count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "read" && argc == 5) return Read(argv[2], argv[3], argv[4]);
  if (command == "write" && argc == 4) return Write(argv[2], argv[3]);
  if (command == "create" && argc == 4) return Create(std::atol(argv[2]), argv[3]);
  if (command == "enum" && argc == 3) return Enumerate(argv[2]);
  std::fprintf(stderr, "usage: cfb_bench read|write|create|enum ...\n");
  return 2;
}
