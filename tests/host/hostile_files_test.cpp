// Small files whose fields claim far more than they hold (a directory of
// millions of entries, a stream of 2^63 bytes, a FAT of 2^30 sectors, chains
// that come back to themselves), and files that nest storages or repeat one
// name thirty thousand times: every export a host calls gets through them in
// time and memory that follow the file's real size. Each runs in a child
// process with its processor time limited; the figures are printed.
#include <sys/resource.h>

#include <functional>

#include "cfb/compound_file.h"
#include "child_process.h"
#include "peak_memory.h"
#include "raw_file.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::CompoundFile;
using cfb::EntryType;
using cfb::StoreU32;
using cfb::StoreU64;
using cfb::testing::RawFile;

constexpr uint32_t kMany = 30000;
constexpr uint64_t kMemoryBound = 64 << 20;
constexpr rlim_t kProcessorSeconds = 60;

// A small v4 file with a stream in regular sectors and one in the mini
// stream, for the damage below: entry 1 is "big", entry 2 "small".
void Sample(const std::string& path) {
  auto file = CompoundFile::Create(path, false, cfb::Version::k4);
  const std::string big(20000, 'b'), small(100, 's');
  file->Write(file->CreateElement(cfb::kRootId, u"big", EntryType::kStream), 0, big.data(),
              big.size());
  file->Write(file->CreateElement(cfb::kRootId, u"small", EntryType::kStream), 0, small.data(),
              small.size());
  file->Commit();
}

void Patch(const std::string& path, const std::function<void(RawFile&)>& change) {
  Sample(path);
  RawFile raw(path);
  change(raw);
  raw.Save();
}

void Nested(const std::string& path) {
  auto file = CompoundFile::Create(path, false, cfb::Version::k4);
  uint32_t parent = cfb::kRootId;
  for (uint32_t level = 0; level < kMany; ++level)
    parent = file->CreateElement(parent, u"d", EntryType::kStorage);
  file->Commit();
}

void OneName(const std::string& path) {
  {
    auto file = CompoundFile::Create(path, false, cfb::Version::k4);
    for (uint32_t i = 0; i < kMany; ++i)
      file->CreateElement(cfb::kRootId, u"a" + cfb::testing::Utf16(std::to_string(i)),
                          EntryType::kStream);
    file->Commit();
  }
  RawFile raw(path);
  for (uint32_t id = 1; id <= kMany; ++id) raw.SetName(id, u"a");
  raw.Save();
}

struct Crafted {
  const char* what;
  std::function<void(const std::string&)> make;
};

const Crafted kCrafted[] = {
    {"storages nested 30000 deep", Nested},
    {"30000 streams of one name", OneName},
    {"a stream of 2^63 bytes",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) { StoreU64(f.Entry(1) + 0x78, uint64_t{1} << 63); });
     }},
    {"a mini stream of 2^62 bytes",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) { StoreU64(f.Entry(cfb::kRootId) + 0x78, uint64_t{1} << 62); });
     }},
    {"a FAT of 2^30 sectors",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) {
         StoreU32(&f.bytes()[0x2C], 1u << 30);
         StoreU32(&f.bytes()[0x48], 1u << 22);
         StoreU32(&f.bytes()[0x44], f.StartOf(1));  // DIFAT sectors in a stream's place
       });
     }},
    {"a directory of millions of sectors",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) {
         StoreU32(&f.bytes()[0x28], 0xFFFFFFF0);
         StoreU32(f.Entry(cfb::kRootId) + 0x4C, 40000000);
       });
     }},
    {"a chain that comes back to its start",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) {
         StoreU64(f.Entry(1) + 0x78, uint64_t{1} << 40);
         f.SetFat(f.Fat(f.StartOf(1)), f.StartOf(1));
       });
     }},
    {"a directory chain that comes back to its start",
     [](const std::string& path) {
       Patch(path, [](RawFile& f) {
         const uint32_t first = cfb::LoadU32(&f.bytes()[0x30]);
         f.SetFat(first, first);
       });
     }},
    {"64 GB that are all holes",
     [](const std::string& path) {
       Sample(path);
       fs::resize_file(path, uint64_t{64} << 30);
     }},
};

class HostileFiles : public StoragePlugin {
 protected:
  // Everything a host does with an archive: lists it, extracts and tests
  // every file, packs a file into it, deletes its first entry.
  void UseFully(const std::string& arc) {
    const std::vector<std::string> paths = Paths(arc);
    fs::create_directory(dir / "out");
    for (int32_t operation : {PK_EXTRACT, PK_TEST}) {
      HANDLE handle = plugin->Open(arc, PK_OM_EXTRACT);
      tHeaderDataEx header;
      for (int i = 0; handle && plugin->ReadHeaderEx(handle, &header) == 0; ++i) {
        const bool folder = header.FileAttr & 0x4000;
        std::string target = dir / ("out/" + std::to_string(i));
        plugin->ProcessFile(handle, folder ? PK_SKIP : operation, nullptr, target.data());
      }
      if (handle) plugin->CloseArchive(handle);
    }
    src.Write("new.txt", "new");
    Pack(arc, nullptr, src.Slash(), {"new.txt"});
    if (!paths.empty()) Delete(arc, {paths.front()});
  }

  TempDir src;
};

TEST_F(HostileFiles, CostFollowsTheRealSize) {
  for (const Crafted& crafted : kCrafted) {
    const std::string arc = dir / "crafted.doc";
    fs::remove(arc);
    crafted.make(arc);
    const uint64_t size = fs::file_size(arc);
    int grew[2];
    ASSERT_EQ(pipe(grew), 0);
    testing_support::ChildProcess child([&] {
      const rlimit cpu{kProcessorSeconds, kProcessorSeconds};
      setrlimit(RLIMIT_CPU, &cpu);
      testing_support::PeakMemory::Start();
      UseFully(arc);
      const uint64_t growth = testing_support::PeakMemory::Growth();
      return write(grew[1], &growth, sizeof growth) == sizeof growth ? 0 : 1;
    });
    close(grew[1]);
    uint64_t growth = ~uint64_t{0};
    if (read(grew[0], &growth, sizeof growth) != sizeof growth) growth = ~uint64_t{0};
    close(grew[0]);
    ASSERT_EQ(child.Wait(), 0) << crafted.what << ": did not finish";
    EXPECT_LT(growth, kMemoryBound) << crafted.what;
    std::printf("%-48s %12llu bytes: peak memory +%8.1f KiB, %5.2f s\n", crafted.what,
                static_cast<unsigned long long>(size), static_cast<double>(growth) / 1024,
                child.cpu_seconds());
  }
}

// What a host shows of those two: the levels a header can name, the
// deepest folder reported rather than silently empty; every sibling under
// a name of its own.
TEST_F(HostileFiles, DeepNestingAndRepeatedNamesStayUsable) {
  const std::string deep = dir / "deep.doc";
  Nested(deep);
  const std::vector<std::string> levels = Paths(deep);
  ASSERT_EQ(levels.size(), static_cast<size_t>(kMaxEntryDepth));
  EXPECT_EQ(levels.back().size(), 2 * size_t{kMaxEntryDepth} - 1);
  EXPECT_EQ(Process(deep, levels.back(), ""), E_BAD_DATA);
  EXPECT_EQ(Process(deep, levels[kMaxEntryDepth - 2], ""), 0);

  const std::string same = dir / "same.doc";
  OneName(same);
  const std::vector<std::string> names = Paths(same);
  EXPECT_EQ(names.size(), size_t{kMany});
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), size_t{kMany});
}

}  // namespace
}  // namespace storage_plugin
