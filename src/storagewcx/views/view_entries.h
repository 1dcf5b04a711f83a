// The views of what a compound file holds, as read-only entries: the
// folder [Content] at the archive root and a file per view in it. They are
// made from the file when listed and never written to it: deleting them,
// adding to the folder or replacing a view is refused with E_NOT_SUPPORTED.
#pragma once

#include <string>
#include <vector>

#include "content/views.h"
#include "storagewcx/storage_entries.h"
#include "wcx/archive_tree.h"

namespace storagewcx {

inline constexpr const char* kContentFolderName = "[Content]";

class TqorContentDir : public wcx::TqorWCXDir {
 public:
  // Links itself after the root's stored elements, which keep their names;
  // leftOut names the views that were found but cannot be made.
  TqorContentDir(TqorStorageDir* root, std::vector<content::View> views,
                 std::vector<std::string> leftOut);
  ~TqorContentDir() override;

  void FillHeader(wcx::EntryHeader& header) override;
  // E_BAD_DATA when a view was left out, so that testing the archive says so.
  int32_t TestItem() override;
  void Open() override;
  int32_t CreateFolder(const std::string& name) override;
  int32_t AddFile(const std::string& srcPath, const std::string& name,
                  const ListedPlace& place) override;
  int32_t DeleteItem() override;

  // The compound file the views are made from; null once it is closed.
  storage::TStructStorageFolder* RootFolder() const;
  int32_t HeaderTime() const { return FHeaderTime; }
  const std::vector<std::string>& LeftOut() const { return FLeftOut; }

 private:
  std::vector<content::View> FViews;
  std::vector<std::string> FLeftOut;
  int32_t FHeaderTime = 0;
};

class TqorViewFile : public wcx::TqorWCXFile {
 public:
  TqorViewFile(TqorContentDir* folder, const content::View& view);

  void FillHeader(wcx::EntryHeader& header) override;
  int32_t TestItem() override;
  int32_t ExtractTo(const std::string& target) override;
  int32_t DeleteItem() override;

 private:
  // Writes the view to target, or to nowhere (a temporary file for copies)
  // when target is empty: reads it all either way.
  enum class Destination { kFile, kNowhere };
  int32_t Make(const std::string& target, Destination destination);

  const content::View& FView;  // owned by the folder, which outlives its entries
};

}  // namespace storagewcx
