// The user GetUserNameW names, as UTF-8.
#include <windows.h>
// After windows.h, which it needs.
#include <lmcons.h>

#include "base/wide_text.h"
#include "log/run_user.h"

namespace velmoth {

RunUser CurrentUser() {
  wchar_t name[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!GetUserNameW(name, &size)) return {};
  return {Narrow(std::wstring_view(name, size - 1)), {}};
}

}  // namespace velmoth
