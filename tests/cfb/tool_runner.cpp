#include "tool_runner.h"

#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "cfb/compound_file.h"

namespace cfb::testing {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool HaveTool(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null 2>&1 && echo yes").output == "yes\n";
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

void PrintTo(const Listed& item, std::ostream* out) {
  *out << item.kind << ' ' << item.path << ' ' << item.size << ' ' << item.crc;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

uint32_t FileCrc(const std::filesystem::path& path, uint64_t& size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  size = bytes.size();
  return Crc32(bytes.data(), bytes.size());
}

}  // namespace

Listing ListWithEngine(const std::string& path) {
  auto file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  Listing listing;
  std::function<void(uint32_t, const std::string&)> walk = [&](uint32_t storage,
                                                               const std::string& prefix) {
    for (uint32_t id : file->Children(storage)) {
      const EntryView e = file->Entry(id);
      const std::string name = prefix + Utf8(e.name());
      if (e.is_storage()) {
        listing.insert({'d', name, 0, 0});
        walk(id, name + "/");
      } else {
        std::vector<uint8_t> bytes(e.size());
        file->Read(id, 0, bytes.data(), bytes.size());
        listing.insert({'f', name, bytes.size(), Crc32(bytes.data(), bytes.size())});
      }
    }
  };
  walk(kRootId, "");
  return listing;
}

std::vector<Listing> ListWithOlefile(const std::vector<std::string>& files) {
  // One interpreter for all the files; a file olefile refuses gets its
  // message as an entry of kind '!'.
  static const char* kScript =
      "import olefile,sys,zlib\n"
      "for f in sys.argv[1:]:\n"
      "  print('=',0,0,'')\n"
      "  try:\n"
      "    o=olefile.OleFileIO(f)\n"
      "    for e in o.listdir(streams=True, storages=True):\n"
      "      p='/'.join(e)\n"
      "      if o.get_type(p)==olefile.STGTY_STREAM:\n"
      "        d=o.openstream(p).read()\n"
      "        print('f',len(d),zlib.crc32(d),p.encode('utf-8').hex())\n"
      "      else:\n"
      "        print('d',0,0,p.encode('utf-8').hex())\n"
      "  except Exception as x:\n"
      "    print('!',0,0,str(x).encode('utf-8').hex())\n";
  std::string command = "/usr/bin/python3 -c " + ShellQuote(kScript);
  for (const std::string& file : files) command += " " + ShellQuote(file);
  const CommandResult r = RunCommand(command + " 2>&1");
  std::vector<Listing> listings;
  std::istringstream lines(r.output);
  std::string kind, hex;
  uint64_t size;
  uint32_t crc;
  while (lines >> kind >> size >> crc) {
    if (kind == "=") {
      listings.emplace_back();
      continue;
    }
    lines >> hex;
    if (!listings.empty()) listings.back().insert({kind[0], FromHex(hex), size, crc});
  }
  if (r.status != 0 || listings.size() != files.size())
    listings.assign(files.size(), Listing{{'!', r.output, 0, 0}});
  return listings;
}

Listing ListWithOlefile(const std::string& file) {
  return ListWithOlefile(std::vector<std::string>{file}).front();
}

Listing ListWith7zz(const std::string& file, const std::string& scratch_dir) {
  std::filesystem::remove_all(scratch_dir);
  const CommandResult r = RunCommand("LC_ALL=C.UTF-8 7zz x -y -o" + ShellQuote(scratch_dir) + " " +
                                     ShellQuote(file) + " 2>&1");
  Listing listing;
  if (r.status != 0) listing.insert({'!', r.output, 0, 0});
  for (const auto& item : std::filesystem::recursive_directory_iterator(scratch_dir)) {
    const std::string path = std::filesystem::relative(item.path(), scratch_dir).string();
    if (item.is_directory()) {
      listing.insert({'d', path, 0, 0});
    } else {
      uint64_t size = 0;
      const uint32_t crc = FileCrc(item.path(), size);
      listing.insert({'f', path, size, crc});
    }
  }
  return listing;
}

Listing ListWithGsf(const std::string& file) {
  const CommandResult r = RunCommand("gsf list " + ShellQuote(file) + " 2>&1");
  Listing listing;
  if (r.status != 0) listing.insert({'!', r.output, 0, 0});
  std::istringstream lines(r.output);
  std::string line;
  std::getline(lines, line);  // the file name
  while (std::getline(lines, line)) {
    if (line.size() < 3) continue;
    // "f  date time  size path" or "d  size path": the path is the last field.
    const size_t cut = line.rfind(' ');
    const std::string path = line.substr(cut + 1);
    if (path == "*root*") continue;
    if (line[0] == 'd') {
      listing.insert({'d', path, 0, 0});
      continue;
    }
    const CommandResult content =
        RunCommand("gsf cat " + ShellQuote(file) + " " + ShellQuote(path));
    const auto* bytes = reinterpret_cast<const uint8_t*>(content.output.data());
    listing.insert({'f', path, content.output.size(), Crc32(bytes, content.output.size())});
  }
  return listing;
}

std::string SevenZipName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20)
      out += "[" + std::to_string(c) + "]";
    else
      out += static_cast<char>(c);
  }
  return out;
}

}  // namespace cfb::testing

namespace cfb::testing {

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t c;
    int extra;
    if (b < 0x80) {
      c = b;
      extra = 0;
    } else if (b < 0xE0) {
      c = b & 0x1F;
      extra = 1;
    } else if (b < 0xF0) {
      c = b & 0x0F;
      extra = 2;
    } else {
      c = b & 0x07;
      extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < text.size(); ++k, ++i)
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace cfb::testing
