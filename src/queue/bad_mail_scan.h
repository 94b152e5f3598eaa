// The scan of the Bad Mail directory: one list row per parked message that may be
// sent again.
#pragma once

#include "app/mail_list.h"
#include "queue/file_system.h"

namespace velmoth {

// Rebuilds the list from the Bad Mail directory: a row for every command file that
// passes the candidate test and has its message file, unticked, with the message
// file's size and the command file's date. A file the server takes away while the
// scan runs is no longer parked and is left out. Any other failure stops the scan
// and is thrown; the rows found until then stay.
void RefreshMailList(MailList& list, FileSystem& files);

}  // namespace velmoth
