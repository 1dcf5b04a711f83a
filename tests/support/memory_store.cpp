#include "memory_store.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "rtl/file_names.h"

namespace memstore {
namespace {

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(path);
  while (std::getline(in, part, '/'))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

Node* FindOrAdd(Node& root, const std::vector<std::string>& parts, bool lastIsFolder) {
  Node* node = &root;
  for (size_t i = 0; i < parts.size(); ++i) {
    Node* child = node->Child(parts[i]);
    if (!child) child = node->AddChild(parts[i], i + 1 < parts.size() || lastIsFolder);
    node = child;
  }
  return node;
}

void DescribeNode(const Node& node, const std::string& prefix, std::ostringstream& out) {
  for (const auto& child : node.children) {
    if (child->deleted) continue;
    std::string path = prefix + child->name;
    if (child->isFolder) {
      out << "D " << path << "\n";
      DescribeNode(*child, path + "/", out);
    } else {
      out << "F " << path << " " << child->data.size() << "\n";
    }
  }
}

}  // namespace

Node* Node::Child(const std::string& childName) const {
  Node* child = ChildCaseless(childName);
  return child && child->name == childName ? child : nullptr;
}

Node* Node::ChildCaseless(const std::string& childName) const {
  auto found = index_.find(rtl::LowerCaseFileName(childName));
  return found == index_.end() ? nullptr : found->second;
}

Node* Node::AddChild(const std::string& childName, bool folder) {
  children.push_back(std::make_unique<Node>());
  Node* child = children.back().get();
  child->name = childName;
  child->isFolder = folder;
  index_[rtl::LowerCaseFileName(childName)] = child;
  return child;
}

void Node::Remove(Node* child) {
  child->deleted = true;
  auto found = index_.find(rtl::LowerCaseFileName(child->name));
  if (found != index_.end() && found->second == child) index_.erase(found);
}

std::map<std::string, std::unique_ptr<Node>>& Archives() {
  static std::map<std::string, std::unique_ptr<Node>> archives;
  return archives;
}

int& OpenCount() {
  static int count = 0;
  return count;
}

bool& FailNextCommit() {
  static bool fail = false;
  return fail;
}

void Define(const std::string& arcName, const std::string& description) {
  auto root = std::make_unique<Node>();
  root->isFolder = true;
  std::istringstream lines(description);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind, path, word;
    if (!(fields >> kind >> path)) continue;
    Node* node = FindOrAdd(*root, SplitPath(path), kind == "D");
    if (kind == "F") {
      size_t size = 0;
      fields >> size;
      node->data.resize(size);
      for (size_t i = 0; i < size; ++i) node->data[i] = static_cast<char>(i % 251);
    }
    while (fields >> word) {
      node->failOpen |= word == "failopen";
      node->failHalf |= word == "failhalf";
      node->throwExtract |= word == "throwextract";
    }
  }
  Archives()[arcName] = std::move(root);
}

std::string Describe(const std::string& arcName) {
  auto found = Archives().find(arcName);
  if (found == Archives().end()) return {};
  std::ostringstream out;
  DescribeNode(*found->second, "", out);
  return out.str();
}

const std::string* Content(const std::string& arcName, const std::string& path) {
  auto found = Archives().find(arcName);
  if (found == Archives().end()) return nullptr;
  Node* node = found->second.get();
  for (const std::string& part : SplitPath(path))
    if (!(node = node->Child(part))) return nullptr;
  return node->isFolder ? nullptr : &node->data;
}

// ---- MemDir -----------------------------------------------------------------

namespace {

class MemDirClass : public wcx::TqorWCXDirClass {
 public:
  int32_t GetCapabilities() const override { return wcx::PK_CAPS_MULTIPLE; }
  bool CanHandleFile(const std::string& fileName) const override {
    return Archives().count(fileName) > 0;
  }

 protected:
  std::unique_ptr<wcx::TqorWCXDir> NewRoot() const override {
    return std::make_unique<MemDir>(nullptr, nullptr);
  }
};

}  // namespace

MemDir::MemDir(wcx::TqorWCXDir* parent, Node* node)
    : TqorWCXDir(parent, node ? node->name : std::string()), node_(node) {}

MemDir::~MemDir() { ShutDown(); }

const wcx::TqorWCXDirClass& MemDir::Class() {
  static const MemDirClass instance;
  return instance;
}

int32_t MemDir::DeleteItem() {
  if (!FParent || !node_ || node_->deleted) return wcx::E_EREAD;
  static_cast<MemDir*>(FParent)->StoreNode()->Remove(node_);
  return 0;
}

void MemDir::Open() {
  TqorWCXDir::Open();
  ++OpenCount();
  if (!FParent) {
    auto found = Archives().find(FArcName);
    if (found == Archives().end()) {
      if (!FForPacking) throw rtl::Exception("no such archive");
      Define(FArcName, "");
      created_ = true;
      found = Archives().find(FArcName);
    }
    node_ = found->second.get();
  }
  if (node_->failOpen || node_->deleted) throw rtl::Exception("cannot open folder");
  Load();
}

void MemDir::Load() {
  for (const auto& child : node_->children) {
    if (child->deleted) continue;
    if (child->isFolder)
      new MemDir(this, child.get());
    else
      new MemFile(this, child.get());
  }
}

void MemDir::Close() { TqorWCXDir::Close(); }

int32_t MemDir::CommitChanges() {
  return std::exchange(FailNextCommit(), false) ? wcx::E_EWRITE : 0;
}

void MemDir::DiscardArchive() {
  ShutDown();
  if (created_) Archives().erase(FArcName);
}

int32_t MemDir::CreateFolder(const std::string& name) {
  if (Node* existing = node_->ChildCaseless(name)) {
    if (!existing->isFolder) return wcx::E_EWRITE;
    new MemDir(this, existing);
    return 0;
  }
  new MemDir(this, node_->AddChild(name, true));
  return 0;
}

int32_t MemDir::AddFile(const std::string& srcPath, const std::string& name, const ListedPlace&) {
  Node* existing = node_->ChildCaseless(name);
  if (existing && existing->isFolder) return wcx::E_EWRITE;
  rtl::TFileStream source(srcPath + name, rtl::TFileStream::Mode::fmOpenReadDenyWrite);
  std::string data(static_cast<size_t>(source.GetSize()), '\0');
  const std::string progressName = GetPath().empty() ? name : GetPath() + "/" + name;
  for (size_t done = 0; done < data.size();) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(kBlockSize, data.size() - done));
    source.ReadBuffer(data.data() + done, n);
    done += static_cast<size_t>(n);
    if (DoProcessData(progressName, n) == 0) return wcx::E_EABORTED;
  }
  // Only complete content replaces the old entry.
  if (existing) node_->Remove(existing);
  Node* node = node_->AddChild(name, false);
  node->data = std::move(data);
  new MemFile(this, node);
  return 0;
}

// ---- MemFile ----------------------------------------------------------------

MemFile::MemFile(wcx::TqorWCXDir* parent, Node* node)
    : TqorWCXFile(parent, node->name), node_(node) {}

void MemFile::FillHeader(wcx::EntryHeader& header) {
  TqorWCXFile::FillHeader(header);
  header.PackSize = header.UnpSize = node_->data.size();
  header.FileAttr = static_cast<int32_t>(platform::kStreamAttr);
}

int32_t MemFile::TestItem() { return Copy(nullptr); }

int32_t MemFile::ExtractTo(const std::string& target) {
  rtl::TFileStream file(target, rtl::TFileStream::Mode::fmCreate);
  if (node_->throwExtract) {
    file.WriteBuffer("partial", 7);
    throw rtl::Exception("extraction failed");
  }
  return Copy(&file);
}

int32_t MemFile::DeleteItem() {
  if (node_->deleted) return wcx::E_EREAD;
  static_cast<MemDir*>(FParent)->StoreNode()->Remove(node_);
  return 0;
}

int32_t MemFile::Copy(rtl::TStream* target) {
  const std::string& data = node_->data;
  for (size_t done = 0; done < data.size();) {
    if (node_->failHalf && done >= data.size() / 2) return wcx::E_EWRITE;
    int32_t n = static_cast<int32_t>(std::min<size_t>(kBlockSize, data.size() - done));
    if (target) target->WriteBuffer(data.data() + done, n);
    done += static_cast<size_t>(n);
    if (DoProcessData(GetPath(), n) == 0) return wcx::E_EABORTED;
  }
  return 0;
}

}  // namespace memstore
