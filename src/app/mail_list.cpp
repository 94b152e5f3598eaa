// The scan and the requeue as the window runs them: the scan's candidates become
// the rows of the list, the ticked rows' names go to the requeue.
#include "app/mail_list.h"

namespace velmoth {

void FillMailList(MailList& list, const std::vector<BadMailEntry>& entries) {
  for (const BadMailEntry& entry : entries) {
    list.AddRow(entry.name, entry.name);
    const int row = list.RowCount();
    list.SetSize(row, entry.size);
    list.SetDate(row, entry.date);
  }
}

UnreadableFiles RefreshMailList(MailList& list, FileSystem& files,
                                const QueueLocations& locations) {
  BusyPointer busy(list);
  list.RemoveAllRows();
  const BadMailScan scan = ScanBadMail(files, locations);
  FillMailList(list, scan.candidates);
  return CountUnreadable(scan);
}

std::vector<RequeueRow> RequeueChecked(MailList& list, bool deleteParked, FileSystem& files,
                                       const QueueLocations& locations, const Clock& clock) {
  BusyPointer busy(list);
  std::vector<std::string> names;
  const int rows = list.RowCount();
  for (int row = 1; row <= rows; ++row) {
    if (list.IsTicked(row)) names.push_back(list.RowText(row));
  }
  RequeueOptions options;
  options.deleteParked = deleteParked;
  options.clock = clock;
  return Requeue(names, options, files, locations);
}

}  // namespace velmoth
