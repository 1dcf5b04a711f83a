// An in-memory model of a compound file's content and a seeded generator of
// random operations that apply to both the model and the engine, for the
// randomized model test and the kill test.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cfb/compound_file.h"
#include "tool_runner.h"

namespace cfb::testing {

struct ModelNode {
  std::u16string name;
  bool storage = false;
  std::vector<uint8_t> data;
  std::map<std::u16string, ModelNode> children;  // by NameKey
};

using Path = std::vector<std::u16string>;

struct Op {
  enum class Kind { kCreateStream, kCreateStorage, kWrite, kResize, kRename, kDestroy, kCommit };
  Kind kind;
  Path path;            // the element (for creates: its parent)
  std::u16string name;  // new element or new name
  uint64_t offset = 0;  // write position or new size
  uint64_t length = 0;  // bytes written
  uint32_t seed = 0;    // content of the write
};

class Model {
 public:
  Model() { root_.storage = true; }
  // False when the engine must refuse the operation (a name taken).
  bool Apply(const Op& op);
  const ModelNode& root() const { return root_; }
  // The model as the interop readers list it.
  Listing Listed() const;

 private:
  ModelNode* Find(const Path& path);
  ModelNode root_;
};

// Applies op to the engine; false when the engine refused it with
// kAlreadyExists (which the model predicts).
bool ApplyToEngine(const Op& op, CompoundFile& file);

// Names that start with this unit are the tests' own; the generator leaves
// such elements alone (and never makes such names).
inline constexpr char16_t kReservedMark = u'\x01';

// Operations drawn from a seeded generator, shaped by the model's content.
class OpGenerator {
 public:
  explicit OpGenerator(uint32_t seed, uint64_t max_write = 300000)
      : rng_(seed), max_write_(max_write) {}
  Op Next(const Model& model);

 private:
  uint64_t Size();
  std::u16string Name();
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : rng_() % n; }

  std::mt19937 rng_;
  uint64_t max_write_;
};

// Every element of the engine's file equals the model, or a failure.
void ExpectSameContent(CompoundFile& file, const Model& model);

}  // namespace cfb::testing
