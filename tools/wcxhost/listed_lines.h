// The entries of a listing kept until its columns' widths are known, in
// little room: numbers as variable-length integers, the time only where it
// changes, and each path as what it shares with the one before and the rest
// (a listing goes folder by folder, so most of each path is shared).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive_session.h"

namespace wcxhost {

class ListedLines {
 public:
  // The long format keeps the packed size and attributes too.
  enum class Fields { kShort, kLong };
  explicit ListedLines(Fields fields) : fields_(fields) {}

  void Add(const Entry& entry);
  // Every entry in the order added; the fields not kept stay 0.
  void ForEach(const std::function<void(const Entry&)>& visit) const;

 private:
  Fields fields_;
  // In blocks of about a megabyte, each holding whole entries: a string
  // that doubled would hold the old bytes and twice as many at once.
  std::vector<std::string> blocks_;
  std::string last_path_;
  int32_t last_time_ = 0;
};

}  // namespace wcxhost
