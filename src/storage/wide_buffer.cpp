#include "storage/wide_buffer.h"

#include <algorithm>

#include "platform/unicode.h"

namespace storage {

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

void FreeWideBuffer(OLECHAR* p) { delete[] p; }

WideBuffer StringToWideBuffer(const std::string& s) {
  if (s.empty()) return nullptr;
  std::u16string wide = platform::Utf8ToUtf16(s);
  WideBuffer buffer(new OLECHAR[wide.size() + 1]());
  std::copy(wide.begin(), wide.end(), buffer.get());
  return buffer;
}

}  // namespace storage
