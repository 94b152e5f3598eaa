// A parked message's details in a modal dialog of read-only boxes, whose text
// the operator can select and copy; Esc and Close close it.
#pragma once

#include <windows.h>

#include <string>

#include "queue/message_details.h"

namespace velmoth::win32 {

// Text shown in a multi-line box: its lines ending in CR LF, as the edit control
// breaks them.
std::wstring EditLines(const std::string& lines);

// Shows the dialog of `instance`'s frm_main.rc over `owner` until it is closed.
void ShowDetailsDialog(HINSTANCE instance, HWND owner, const MessageDetails& details);

}  // namespace velmoth::win32
