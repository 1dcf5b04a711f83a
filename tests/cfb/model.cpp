#include "model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "cfb/error.h"
#include "cfb/names.h"
#include "test_files.h"

namespace cfb::testing {

ModelNode* Model::Find(const Path& path) {
  ModelNode* node = &root_;
  for (const std::u16string& name : path) {
    auto it = node->children.find(NameKey(name));
    if (it == node->children.end()) return nullptr;
    node = &it->second;
  }
  return node;
}

bool Model::Apply(const Op& op) {
  if (op.kind == Op::Kind::kCommit) return true;
  ModelNode* node = Find(op.path);
  switch (op.kind) {
    case Op::Kind::kCreateStream:
    case Op::Kind::kCreateStorage: {
      if (node->children.count(NameKey(op.name))) return false;
      ModelNode child;
      child.name = op.name;
      child.storage = op.kind == Op::Kind::kCreateStorage;
      node->children.emplace(NameKey(op.name), std::move(child));
      return true;
    }
    case Op::Kind::kWrite: {
      if (op.length == 0) return true;  // writes nothing, grows nothing
      const auto bytes = Pattern(op.length, op.seed);
      if (node->data.size() < op.offset + op.length) node->data.resize(op.offset + op.length, 0);
      std::copy(bytes.begin(), bytes.end(), node->data.begin() + op.offset);
      return true;
    }
    case Op::Kind::kResize:
      node->data.resize(op.offset, 0);
      return true;
    case Op::Kind::kRename: {
      Path parent_path(op.path.begin(), op.path.end() - 1);
      ModelNode* parent = Find(parent_path);
      const std::u16string old_key = NameKey(op.path.back());
      const std::u16string new_key = NameKey(op.name);
      if (new_key != old_key && parent->children.count(new_key)) return false;
      ModelNode moved = std::move(parent->children.at(old_key));
      parent->children.erase(old_key);
      moved.name = op.name;
      parent->children.emplace(new_key, std::move(moved));
      return true;
    }
    case Op::Kind::kDestroy: {
      Path parent_path(op.path.begin(), op.path.end() - 1);
      Find(parent_path)->children.erase(NameKey(op.path.back()));
      return true;
    }
    case Op::Kind::kCommit:
      break;
  }
  return true;
}

Listing Model::Listed() const {
  Listing listing;
  std::function<void(const ModelNode&, const std::string&)> walk = [&](const ModelNode& node,
                                                                       const std::string& prefix) {
    for (const auto& [key, child] : node.children) {
      const std::string path = prefix + Utf8(child.name);
      if (child.storage) {
        listing.insert({'d', path, 0, 0});
        walk(child, path + "/");
      } else {
        listing.insert({'f', path, child.data.size(), Crc32(child.data.data(), child.data.size())});
      }
    }
  };
  walk(root_, "");
  return listing;
}

namespace {

uint32_t Resolve(CompoundFile& file, const Path& path) {
  uint32_t id = kRootId;
  for (const std::u16string& name : path) id = file.Find(id, name);
  return id;
}

}  // namespace

bool ApplyToEngine(const Op& op, CompoundFile& file) {
  try {
    const uint32_t id = op.kind == Op::Kind::kCommit ? kRootId : Resolve(file, op.path);
    switch (op.kind) {
      case Op::Kind::kCreateStream:
        file.CreateElement(id, op.name, EntryType::kStream);
        break;
      case Op::Kind::kCreateStorage:
        file.CreateElement(id, op.name, EntryType::kStorage);
        break;
      case Op::Kind::kWrite: {
        const auto bytes = Pattern(op.length, op.seed);
        file.Write(id, op.offset, bytes.data(), bytes.size());
        break;
      }
      case Op::Kind::kResize:
        file.Resize(id, op.offset);
        break;
      case Op::Kind::kRename:
        file.RenameElement(id, op.name);
        break;
      case Op::Kind::kDestroy:
        file.DestroyElement(id);
        break;
      case Op::Kind::kCommit:
        file.Commit();
        break;
    }
  } catch (const Error& e) {
    if (e.code() == Errc::kAlreadyExists) return false;
    throw;
  }
  return true;
}

uint64_t OpGenerator::Size() {
  switch (rng_() % 6) {
    case 0:
      return Below(64);
    case 1:
      return Below(4096);
    case 2:
      return 4096 - 8 + Below(16);  // around the cutoff
    case 3:
      return Below(70000);
    case 4:
      return Below(max_write_);
    default:
      return Below(600);
  }
}

std::u16string OpGenerator::Name() {
  // Few letters and case variants, so that names collide now and then.
  static const std::u16string kLetters = u"abAB\u00E9\u00C9\u03C3\u03A3\u00DF_1";
  std::u16string name;
  const size_t length = 1 + Below(rng_() % 4 == 0 ? 31 : 3);
  for (size_t i = 0; i < length; ++i) name.push_back(kLetters[Below(kLetters.size())]);
  return name;
}

Op OpGenerator::Next(const Model& model) {
  // A random element: walk down from the root.
  Path path;
  const ModelNode* node = &model.root();
  while (!node->children.empty() && rng_() % 3 != 0) {
    auto it = node->children.begin();
    std::advance(it, Below(node->children.size()));
    if (it->second.name[0] == kReservedMark) break;
    path.push_back(it->second.name);
    node = &it->second;
  }
  Op op;
  op.path = path;
  op.seed = static_cast<uint32_t>(rng_());
  if (node->storage) {
    const uint64_t roll = Below(10);
    if (path.empty() || roll < 5) {
      op.kind = Op::Kind::kCreateStream;
    } else if (roll < 7) {
      op.kind = Op::Kind::kCreateStorage;
    } else if (roll < 8) {
      op.kind = Op::Kind::kRename;
    } else {
      op.kind = Op::Kind::kDestroy;
    }
    if (path.empty() && Below(4) == 0) op.kind = Op::Kind::kCreateStorage;
    op.name = Name();
    return op;
  }
  const uint64_t size = node->data.size();
  const uint64_t roll = Below(20);
  if (roll < 10) {
    op.kind = Op::Kind::kWrite;
    op.offset = Below(size + 100);
    op.length = Size();
  } else if (roll < 15) {
    op.kind = Op::Kind::kResize;
    op.offset = Below(2) ? Below(size + 1) : Size();
  } else if (roll < 17) {
    op.kind = Op::Kind::kRename;
    op.name = Name();
  } else {
    op.kind = Op::Kind::kDestroy;
  }
  return op;
}

void ExpectSameContent(CompoundFile& file, const Model& model) {
  std::function<void(uint32_t, const ModelNode&)> compare = [&](uint32_t storage,
                                                                const ModelNode& node) {
    const std::vector<uint32_t> children = file.Children(storage);
    ASSERT_EQ(children.size(), node.children.size());
    for (uint32_t id : children) {
      const EntryView e = file.Entry(id);
      auto it = node.children.find(NameKey(e.name()));
      ASSERT_NE(it, node.children.end()) << Utf8(e.name());
      const ModelNode& child = it->second;
      EXPECT_EQ(e.name(), child.name);
      ASSERT_EQ(e.is_storage(), child.storage) << Utf8(e.name());
      if (child.storage) {
        compare(id, child);
      } else {
        std::vector<uint8_t> bytes(e.size());
        EXPECT_EQ(file.Read(id, 0, bytes.data(), bytes.size()), e.size());
        EXPECT_TRUE(bytes == child.data)
            << Utf8(e.name()) << " " << e.size() << " vs " << child.data.size();
      }
    }
  };
  compare(kRootId, model.root());
}

}  // namespace cfb::testing
