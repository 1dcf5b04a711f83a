// Files whose chains or directory trees run in a circle or share what they
// link to, through the plug-in on every build: the system's storage on
// Windows loops forever on most of them and reads the rest as sound, so the
// plug-in must give the engine's verdict, a clean error, within seconds on
// Linux and under Wine alike.
// Each case runs with a deadline; missing it fails the test and ends the
// program instead of hanging it.
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "raw_file.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

using cfb::LoadU32;
using cfb::StoreU32;
using cfb::testing::RawFile;

constexpr auto kDeadline = std::chrono::seconds(30);
#ifdef _WIN32
constexpr bool kDamagedStreamsGoWithTheirFolder = false;
#else
constexpr bool kDamagedStreamsGoWithTheirFolder = true;
#endif
const std::string kBig(20000, 'b');

// Written through the platform's storage (the system's on Windows): in
// storage "c", "big" in regular sectors and "small" in the mini stream;
// storage "a" holding "s", empty storage "b", and enough streams for a
// third directory sector.
void WriteSample(const std::string& path) {
  CompoundBuilder builder(path);
  builder.Stream(u"c/big", kBig);
  builder.Stream(u"c/small", std::string(100, 's'));
  builder.Stream(u"a/s", "in a");
  builder.Storage(u"b");
  for (char16_t c = u'1'; c <= u'4'; ++c) builder.Stream(std::u16string(u"pad") + c, "pad");
}

uint32_t FirstDirSector(RawFile& f) { return LoadU32(&f.bytes()[0x30]); }

uint32_t IdOf(RawFile& f, std::u16string_view name) {
  uint32_t sectors = 0;
  for (uint32_t s = FirstDirSector(f); s != cfb::kEndOfChain; s = f.Fat(s)) ++sectors;
  for (uint32_t id = 0; id < sectors * (f.sector_size() / cfb::kDirEntrySize); ++id) {
    const uint8_t* e = f.Entry(id);
    std::u16string entry_name;
    for (uint32_t i = 0; i < 32 && cfb::LoadU16(e + 2 * i) != 0; ++i)
      entry_name += static_cast<char16_t>(cfb::LoadU16(e + 2 * i));
    if (entry_name == name && e[0x42] != 0) return id;
  }
  throw std::runtime_error("no such entry");
}

struct Damage {
  const char* name;
  std::function<void(RawFile&)> apply;
  const char* damaged_stream = nullptr;  // none: the whole file is refused
};

const Damage kDamages[] = {
    {"fat_chain_self_loop",
     [](RawFile& f) {
       const uint32_t s = f.StartOf(IdOf(f, u"big"));
       f.SetFat(s, s);
     },
     "c/big"},
    {"fat_chain_cycle",
     [](RawFile& f) {
       const uint32_t s = f.StartOf(IdOf(f, u"big"));
       f.SetFat(f.Fat(f.Fat(s)), s);
     },
     "c/big"},
    {"mini_chain_self_loop",
     [](RawFile& f) {
       const uint32_t m = f.StartOf(IdOf(f, u"small"));
       StoreU32(f.Sector(LoadU32(&f.bytes()[0x3C])) + 4 * m, m);
     },
     "c/small"},
    {"dir_chain_cycle",
     [](RawFile& f) {
       uint32_t last = FirstDirSector(f);
       while (f.Fat(last) != cfb::kEndOfChain) last = f.Fat(last);
       f.SetFat(last, FirstDirSector(f));
     }},
    {"dir_sibling_self",
     [](RawFile& f) {
       const uint32_t id = IdOf(f, u"pad1");
       StoreU32(f.Entry(id) + 0x44, id);
     }},
    {"dir_shared_subtree",
     [](RawFile& f) {
       StoreU32(f.Entry(IdOf(f, u"b")) + 0x4C, LoadU32(f.Entry(IdOf(f, u"a")) + 0x4C));
     }},
    {"difat_repeats_a_fat_sector",
     [](RawFile& f) { StoreU32(&f.bytes()[0x4C + 4], LoadU32(&f.bytes()[0x4C])); }},
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedFiles : public StoragePlugin, public ::testing::WithParamInterface<Damage> {
 protected:
  // Runs body on a thread of its own; a body still running at the deadline
  // fails the test and ends the program, which could not stop it.
  static void WithinDeadline(const char* what, const std::function<void()>& body) {
    std::atomic<bool> done = false;
    std::thread worker([&] {
      body();
      done = true;
    });
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!done && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!done) {
      std::fprintf(stderr, "%s: the plug-in did not return within %lld seconds\n", what,
                   static_cast<long long>(kDeadline.count()));
      std::fflush(stderr);
      std::_Exit(1);
    }
    worker.join();
  }
};

TEST_P(DamagedFiles, EndInACleanErrorInTime) {
  const Damage& damage = GetParam();
  const std::string arc = dir / "damaged.doc";
  WriteSample(arc);
  {
    RawFile raw(arc);
    damage.apply(raw);
    raw.Save();
  }
  WithinDeadline(damage.name, [&] {
    int32_t end = 0;
    const size_t listed = List(arc, &end).size();
    if (!damage.damaged_stream) {
      EXPECT_EQ(listed, 0u);
      EXPECT_EQ(end, E_EREAD);
      EXPECT_NE(Delete(arc, {"pad1"}), 0);
      return;
    }
    EXPECT_EQ(listed, 10u);
    EXPECT_EQ(Process(arc, damage.damaged_stream, ""), E_EREAD);
    EXPECT_EQ(Process(arc, "a/s", ""), 0);
    EXPECT_EQ(Process(arc, "pad1", dir / "pad1.out"), 0);
    EXPECT_NE(Delete(arc, {damage.damaged_stream}), 0);
    // Replacing it under a name that differs only in case: the system's
    // storage finds it whatever the case.
    std::string other_case = std::string(damage.damaged_stream).substr(2);
    for (char& c : other_case) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    TempDir src;
    src.Write(other_case, "new");
    EXPECT_NE(Pack(arc, "c", src.Slash(), {other_case}), 0);
    EXPECT_EQ(Delete(arc, {"pad1"}), 0);
    EXPECT_EQ(Paths(arc).size(), 9u);
    // Windows keeps the folder: its system storage would free the damaged
    // stream's chain, and loop.
    if (kDamagedStreamsGoWithTheirFolder) {
      EXPECT_EQ(Delete(arc, {"c"}), 0);
      EXPECT_EQ(Paths(arc).size(), 6u);
    } else {
      EXPECT_NE(Delete(arc, {"c"}), 0);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedFiles, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace storage_plugin
