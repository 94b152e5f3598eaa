// Charsets of encoded words through iconv, whose descriptors each thread keeps
// open, one per charset name, so a scan of many messages opens each only once.
#include <errno.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "queue/encoded_words.h"

namespace velmoth {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// The descriptors from each charset name to UTF-8, a name iconv does not know
// among them; a few dozen names at most, dropped together when there are more.
class IconvCache {
 public:
  IconvCache() = default;
  IconvCache(const IconvCache&) = delete;
  IconvCache& operator=(const IconvCache&) = delete;
  ~IconvCache() { Clear(); }

  iconv_t Get(std::string_view charset) {
    for (const Entry& entry : entries_) {
      if (entry.charset == charset) return entry.descriptor;
    }
    if (entries_.size() == kMostEntries) Clear();
    std::string name(charset);
    const iconv_t descriptor = iconv_open("UTF-8", name.c_str());
    entries_.push_back({std::move(name), descriptor});
    return descriptor;
  }

 private:
  static constexpr std::size_t kMostEntries = 32;

  struct Entry {
    std::string charset;
    iconv_t descriptor;
  };

  void Clear() {
    for (const Entry& entry : entries_) {
      if (entry.descriptor != kNoDescriptor) iconv_close(entry.descriptor);
    }
    entries_.clear();
  }

  std::vector<Entry> entries_;
};

// Converts all of `bytes` into `out` from its end on; false at a byte sequence
// that is not valid or not complete. The last call, without input, gives what
// the converter holds back: Windows-1255 and -1258 keep a letter until they
// know whether a combining mark follows it.
bool Convert(iconv_t descriptor, std::string_view bytes, std::string& out) {
  iconv(descriptor, nullptr, nullptr, nullptr, nullptr);  // a fresh state
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  std::size_t written = out.size();
  for (bool last = false;;) {
    out.resize(written + inLeft * 4 + 16);
    char* to = out.data() + written;
    std::size_t toLeft = out.size() - written;
    const std::size_t result = last ? iconv(descriptor, nullptr, nullptr, &to, &toLeft)
                                    : iconv(descriptor, &in, &inLeft, &to, &toLeft);
    written = to - out.data();
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    if (result != static_cast<std::size_t>(-1) && last) break;
    last = last || result != static_cast<std::size_t>(-1);
  }
  out.resize(written);
  return true;
}

}  // namespace

bool ConvertCharset(std::string_view charset, std::string_view bytes, std::string& out) {
  thread_local IconvCache cache;
  const iconv_t descriptor = cache.Get(charset);
  const std::size_t size = out.size();
  if (descriptor != kNoDescriptor && Convert(descriptor, bytes, out)) return true;
  out.resize(size);
  return false;
}

}  // namespace velmoth
