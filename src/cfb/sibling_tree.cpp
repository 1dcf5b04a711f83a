// Red-black upkeep of the sibling trees. An insert or a removal recolours
// and rotates a few nodes, so that a commit writes the pages of those few
// entries rather than a storage's whole tree built anew.
#include <utility>

#include "cfb/directory.h"

namespace cfb {

uint32_t Directory::Link(uint32_t id, Side side) const {
  return side == Side::kLeft ? entries_[id].left() : entries_[id].right();
}

void Directory::SetLink(uint32_t id, Side side, uint32_t to) {
  const EntryView e = entries_[id];
  uint32_t left = e.left(), right = e.right();
  (side == Side::kLeft ? left : right) = to;
  if (left != e.left() || right != e.right()) {
    MarkDirty(id);
    entries_.SetTree(id, left, right, e.color());
  }
  if (to != kNoStream) slots_[to].tree_parent = id;
}

Directory::Side Directory::SideOf(uint32_t id) const {
  return entries_[slots_[id].tree_parent].left() == id ? Side::kLeft : Side::kRight;
}

Color Directory::ColorOf(uint32_t id) const {
  return id == kNoStream ? Color::kBlack : entries_[id].color();
}

void Directory::SetColor(uint32_t id, Color color) {
  if (id == kNoStream || entries_[id].color() == color) return;
  MarkDirty(id);
  entries_.SetTree(id, entries_[id].left(), entries_[id].right(), color);
}

void Directory::Replace(uint32_t storage, uint32_t old_child, uint32_t new_child) {
  const uint32_t parent = slots_[old_child].tree_parent;
  if (parent != kNoStream) return SetLink(parent, SideOf(old_child), new_child);
  if (entries_[storage].child() != new_child) {
    MarkDirty(storage);
    entries_.SetChild(storage, new_child);
  }
  if (new_child != kNoStream) slots_[new_child].tree_parent = kNoStream;
}

void Directory::Rotate(uint32_t storage, uint32_t id, Side side) {
  const uint32_t lifted = Link(id, Opposite(side));
  SetLink(id, Opposite(side), Link(lifted, side));
  Replace(storage, id, lifted);
  SetLink(lifted, side, id);
}

void Directory::RebuildAtCommit(uint32_t storage) {
  ChildIndex& index = children_.at(storage);
  index.upkeep = TreeUpkeep::kRebuild;
  index.tree_dirty = true;
}

void Directory::TreeInsert(uint32_t storage, uint32_t id, uint32_t before, uint32_t after) {
  MarkDirty(id);
  entries_.SetTree(id, kNoStream, kNoStream, Color::kRed);
  slots_[id].tree_parent = kNoStream;
  // Of two neighbours in order, one has no child on the side facing the other.
  if (entries_[storage].child() == kNoStream) {
    MarkDirty(storage);
    entries_.SetChild(storage, id);
  } else if (before != kNoStream && Link(before, Side::kRight) == kNoStream) {
    SetLink(before, Side::kRight, id);
  } else if (after != kNoStream && Link(after, Side::kLeft) == kNoStream) {
    SetLink(after, Side::kLeft, id);
  } else {
    return RebuildAtCommit(storage);  // not a search tree after all
  }
  InsertFixup(storage, id);
}

void Directory::InsertFixup(uint32_t storage, uint32_t id) {
  for (uint32_t parent; ColorOf(parent = slots_[id].tree_parent) == Color::kRed;) {
    const uint32_t grand = slots_[parent].tree_parent;  // a red node is not the root
    const Side side = SideOf(parent);
    const uint32_t uncle = Link(grand, Opposite(side));
    if (ColorOf(uncle) == Color::kRed) {
      SetColor(parent, Color::kBlack);
      SetColor(uncle, Color::kBlack);
      SetColor(grand, Color::kRed);
      id = grand;
      continue;
    }
    if (SideOf(id) != side) {
      id = parent;
      Rotate(storage, id, side);
      parent = slots_[id].tree_parent;
    }
    SetColor(parent, Color::kBlack);
    SetColor(grand, Color::kRed);
    Rotate(storage, grand, Opposite(side));
  }
  SetColor(entries_[storage].child(), Color::kBlack);
}

void Directory::TreeRemove(uint32_t storage, uint32_t id) {
  Color removed = ColorOf(id);
  uint32_t x, x_parent;
  if (Link(id, Side::kLeft) == kNoStream || Link(id, Side::kRight) == kNoStream) {
    x = Link(id, Link(id, Side::kLeft) == kNoStream ? Side::kRight : Side::kLeft);
    x_parent = slots_[id].tree_parent;
    Replace(storage, id, x);
  } else {
    // The successor, which has no left child, takes the node's place.
    uint32_t next = Link(id, Side::kRight);
    while (Link(next, Side::kLeft) != kNoStream) next = Link(next, Side::kLeft);
    removed = ColorOf(next);
    x = Link(next, Side::kRight);
    if (slots_[next].tree_parent == id) {
      x_parent = next;
    } else {
      x_parent = slots_[next].tree_parent;
      Replace(storage, next, x);
      SetLink(next, Side::kRight, Link(id, Side::kRight));
    }
    Replace(storage, id, next);
    SetLink(next, Side::kLeft, Link(id, Side::kLeft));
    SetColor(next, ColorOf(id));
  }
  if (removed == Color::kBlack) RemoveFixup(storage, x, x_parent);
}

void Directory::RemoveFixup(uint32_t storage, uint32_t x, uint32_t x_parent) {
  while (x_parent != kNoStream && ColorOf(x) == Color::kBlack) {
    const Side side = Link(x_parent, Side::kLeft) == x ? Side::kLeft : Side::kRight;
    const Side other = Opposite(side);
    uint32_t sibling = Link(x_parent, other);
    if (sibling == kNoStream) return RebuildAtCommit(storage);  // it was not red-black
    if (ColorOf(sibling) == Color::kRed) {
      SetColor(sibling, Color::kBlack);
      SetColor(x_parent, Color::kRed);
      Rotate(storage, x_parent, side);
      sibling = Link(x_parent, other);
    }
    if (ColorOf(Link(sibling, side)) == Color::kBlack &&
        ColorOf(Link(sibling, other)) == Color::kBlack) {
      SetColor(sibling, Color::kRed);
      x = x_parent;
      x_parent = slots_[x].tree_parent;
      continue;
    }
    if (ColorOf(Link(sibling, other)) == Color::kBlack) {
      SetColor(Link(sibling, side), Color::kBlack);
      SetColor(sibling, Color::kRed);
      Rotate(storage, sibling, other);
      sibling = Link(x_parent, other);
    }
    SetColor(sibling, ColorOf(x_parent));
    SetColor(x_parent, Color::kBlack);
    SetColor(Link(sibling, other), Color::kBlack);
    Rotate(storage, x_parent, side);
    x = entries_[storage].child();
    break;
  }
  SetColor(x, Color::kBlack);
}

bool Directory::IsRedBlack(uint32_t storage) const {
  const uint32_t root = entries_[storage].child();
  if (ColorOf(root) != Color::kBlack) return false;
  constexpr uint32_t kUnset = 0xFFFFFFFF;
  uint32_t leaf_depth = kUnset;
  std::vector<std::pair<uint32_t, uint32_t>> pending;  // node, black nodes above it
  if (root != kNoStream) pending.emplace_back(root, 0);
  while (!pending.empty()) {
    const auto [id, above] = pending.back();
    pending.pop_back();
    const uint32_t depth = above + (ColorOf(id) == Color::kBlack ? 1 : 0);
    for (const Side side : {Side::kLeft, Side::kRight}) {
      const uint32_t child = Link(id, side);
      if (child != kNoStream) {
        if (ColorOf(id) == Color::kRed && ColorOf(child) == Color::kRed) return false;
        pending.emplace_back(child, depth);
      } else if (leaf_depth == kUnset) {
        leaf_depth = depth;
      } else if (leaf_depth != depth) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace cfb
