// Judges compound files with readers we do not own (tests/tools/cfb_check.py:
// a structural check written apart from the engine, olefile in its strictest
// mode, 7zz t). Reading our output back with the engine proves nothing about
// other readers.
#pragma once

#include <string>
#include <vector>

namespace cfb::testing {

// Whether space past what the FAT maps, or a partial last sector, passes:
// readers accept them, 7-Zip with a warning. Only a writer that failed or
// was killed in the middle of a commit may leave them.
enum class UnusedTail { kRefused, kAllowed };

// One line per problem any of those readers has with any of the files,
// prefixed with the file's path; empty when all accept all. One interpreter
// run for all the files.
std::string ReaderComplaints(const std::vector<std::string>& files,
                             UnusedTail tail = UnusedTail::kRefused);
std::string ReaderComplaints(const std::string& file);

}  // namespace cfb::testing
