// The window's event handlers. A failing command is reported and stopped; the
// window stays open, so the operator never loses it to a file the server held.
#include "app/main_window.h"

#include <exception>
#include <iterator>
#include <numeric>
#include <unordered_set>

#include "app/message_tip.h"
#include "base/case_fold.h"
#include "queue/access_advice.h"
#include "queue/message_filter.h"
#include "queue/outcome_text.h"
#include "queue/trail_record.h"

namespace velmoth {
namespace {

// "5,012": a count with its thousands set apart, as the dialogs write it.
std::string GroupedNumber(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

}  // namespace

std::string ErrorMessage(const FileError& error) {
  return "Error " + std::to_string(error.number()) + ": " + error.description() + "\n\n" +
         error.path();
}

std::string UnreadableMessage(const UnreadableFiles& unreadable) {
  if (unreadable.count == 0) return {};
  return UnreadableText(unreadable.count) + (unreadable.count == 1 ? ":" : ". The first:") +
         "\n\n" + ErrorMessage(*unreadable.first);
}

std::string KeptMessage(const std::vector<RequeueRow>& rows) {
  constexpr std::size_t kNamed = 10;
  std::string names;
  std::size_t kept = 0;
  for (const RequeueRow& row : rows) {
    if (row.outcome != RequeueOutcome::kRequeuedNotDeleted) continue;
    if (kept++ < kNamed) names += "\n" + row.name + " (" + KeptText(*row.kept) + ")";
  }
  if (kept == 0) return {};
  if (kept > kNamed) names += "\nand " + std::to_string(kept - kNamed) + " more";
  const bool one = kept == 1;
  return (one ? "1 message was" : std::to_string(kept) + " messages were") + " requeued, but " +
         kKeptInBadMail.For(kept) + ". Do not requeue " + (one ? "it" : "them") + " again:" + names;
}

std::string SkippedMessage(const std::vector<RequeueRow>& rows) {
  // The outcomes skipped, in the order the message tells them.
  constexpr RequeueOutcome kSkipped[] = {RequeueOutcome::kNoLongerCandidate,
                                         RequeueOutcome::kOutboundSpooling, RequeueOutcome::kGone};
  std::size_t counts[std::size(kSkipped)] = {};
  for (const RequeueRow& row : rows) {
    for (std::size_t i = 0; i < std::size(kSkipped); ++i) counts[i] += row.outcome == kSkipped[i];
  }
  std::string message = KeptMessage(rows);
  const std::size_t skipped = std::accumulate(std::begin(counts), std::end(counts), std::size_t{0});
  if (skipped == 0) return message;
  if (!message.empty()) message += "\n\n";
  // Appended piece by piece: "1 is" or "2 are" and what became of them.
  message += std::to_string(skipped);
  message += skipped == 1 ? " message was" : " messages were";
  message += " skipped and left as they are:";
  for (std::size_t i = 0; i < std::size(kSkipped); ++i) {
    if (counts[i] == 0) continue;
    message += '\n';
    message += std::to_string(counts[i]);
    message += counts[i] == 1 ? " is " : " are ";
    message += SkippedText(kSkipped[i])->For(counts[i]);
  }
  return message;
}

std::string NotDeletedMessage(const std::vector<DeletionRow>& rows) {
  constexpr DeletionOutcome kKept[] = {DeletionOutcome::kSpooling, DeletionOutcome::kNotRegular,
                                       DeletionOutcome::kGone};
  std::size_t counts[std::size(kKept)] = {};
  for (const DeletionRow& row : rows) {
    for (std::size_t i = 0; i < std::size(kKept); ++i) counts[i] += row.outcome == kKept[i];
  }
  const std::size_t kept = std::accumulate(std::begin(counts), std::end(counts), std::size_t{0});
  if (kept == 0) return {};
  std::string message = std::to_string(kept);
  message += kept == 1 ? " message was" : " messages were";
  message += " not deleted:";
  for (std::size_t i = 0; i < std::size(kKept); ++i) {
    if (counts[i] == 0) continue;
    message += '\n';
    message += std::to_string(counts[i]);
    message += counts[i] == 1 ? " is " : " are ";
    message += DeletionSkippedText(kKept[i])->For(counts[i]);
  }
  return message;
}

std::string DeleteQuestion(std::size_t ticked, const std::string& selected) {
  if (ticked == 1) return "Delete the 1 ticked message from Bad Mail? It will not be sent.";
  if (ticked > 1) {
    return "Delete the " + std::to_string(ticked) +
           " ticked messages from Bad Mail? They will not be sent.";
  }
  return "Delete the message " + selected + " from Bad Mail? It will not be sent.";
}

MainWindowHandlers::MainWindowHandlers(MailList& list, WindowServices& window, FileSystem& files,
                                       const QueueLocations& locations, SystemLog* log, Clock clock)
    : list_(list),
      window_(window),
      files_(files),
      locations_(locations),
      log_(log),
      clock_(std::move(clock)) {}

void MainWindowHandlers::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const FileError& error) {
    ShowError(error);
  } catch (const std::exception& error) {
    window_.ShowError(error.what());
  }
}

void MainWindowHandlers::ShowError(const FileError& error) {
  const std::string advice = AccessAdvice(error, files_, locations_, form::kCaption);
  window_.ShowError(ErrorMessage(error) + (advice.empty() ? "" : "\n\n" + advice));
}

std::optional<std::filesystem::path> MainWindowHandlers::BadMailNow() const {
  try {
    return locations_.Directory(Queue::kBadMail);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

void MainWindowHandlers::Refresh() {
  listedFrom_ = BadMailNow();
  Guarded([this] {
    // The hourglass is gone before a message box comes up.
    const UnreadableFiles unreadable = [this] {
      BusyPointer busy(window_);
      return RefreshMailList(list_, files_, locations_);
    }();
    const std::string message = UnreadableMessage(unreadable);
    if (!message.empty()) window_.ShowError(message);
  });
}

void MainWindowHandlers::Form_Load() { Refresh(); }

void MainWindowHandlers::TickAll(bool ticked) {
  list_.TickWhere([](const BadMailEntry&) { return true; }, ticked);
}

void MainWindowHandlers::cmdAll_Click() { TickAll(true); }

void MainWindowHandlers::cmdNone_Click() { TickAll(false); }

void MainWindowHandlers::cmdCopy_Click() {
  std::vector<std::string> names;
  for (const std::size_t position : list_.TickedRows()) names.push_back(list_[position].entry.name);
  Guarded([this] {
    const std::vector<RequeueRow> rows = [this] {
      BusyPointer busy(window_);
      return RequeueChecked(list_, window_.IsDeleteTicked(), files_, locations_, clock_);
    }();
    if (!rows.empty()) Log(RequeueRecord(rows, "velmoth"));
    for (const RequeueRow& row : rows) {
      if (row.error) ShowError(*row.error);
    }
    const std::string skipped = SkippedMessage(rows);
    if (!skipped.empty()) window_.ShowNotice(skipped);
  });
  // The list shows what is on disk now, after a failed requeue too, as a rebuild
  // would: the rows of the names requeued read again, and no row ticked; with
  // none ticked, the whole directory, as the button has always done.
  if (names.empty()) return Reread(true);
  UpdateRows(names);
}

void MainWindowHandlers::DeleteFromBadMail() {
  std::vector<std::string> names;
  for (const std::size_t position : list_.TickedRows()) names.push_back(list_[position].entry.name);
  const std::size_t ticked = names.size();
  if (names.empty()) {
    const std::optional<std::size_t> selected = window_.SelectedRow();
    if (!selected) return;
    names.push_back(list_[*selected].entry.name);
  }
  if (!window_.Confirm(DeleteQuestion(ticked, names.front()))) return;
  Guarded([this, &names] {
    const std::vector<DeletionRow> rows = [this, &names] {
      BusyPointer busy(window_);
      return DeleteParked(names, {}, files_, locations_);
    }();
    Log(DeletionRecord(rows, "velmoth"));
    for (const DeletionRow& row : rows) {
      if (row.error) ShowError(*row.error);
    }
    const std::string kept = NotDeletedMessage(rows);
    if (!kept.empty()) window_.ShowNotice(kept);
  });
  UpdateRows(names);
}

void MainWindowHandlers::ShowDetails() {
  const std::optional<std::size_t> row = window_.SelectedRow();
  if (!row) return;
  window_.ShowDetails(ReadMessageDetails(files_, locations_, list_[*row].entry.name));
}

void MainWindowHandlers::OpenTickMatching() { window_.ShowTickMatching(); }

std::string MainWindowHandlers::TickMatching(const MatchRequest& request, bool tick) {
  MessageFilter filter;
  const std::string folded = CaseFold(request.text);
  if (!request.text.empty()) {
    switch (request.field) {
      case MatchRequest::Field::kAny:
        filter.match = folded;
        break;
      case MatchRequest::Field::kFrom:
        filter.from = folded;
        break;
      case MatchRequest::Field::kToOrCc:
        filter.to = folded;
        break;
      case MatchRequest::Field::kSubject:
        filter.subject = folded;
        break;
    }
  }
  for (const auto& [typed, bound] :
       {std::pair(&request.after, &filter.after), std::pair(&request.before, &filter.before)}) {
    if (typed->empty()) continue;
    *bound = ParseDateBound(*typed);
    if (!*bound) return "Not a date: " + *typed + ". Write 2026-12-07, or 2026-12-07 08:15.";
  }
  std::unordered_set<std::string> matching;
  {
    BusyPointer busy(window_);
    ParkedHeaders headers(files_, locations_);
    for (std::size_t position = 0; position < list_.size(); ++position) {
      const BadMailEntry& entry = list_[position].entry;
      const auto header = filter.NeedsHeader() ? headers.Read(entry.name) : std::nullopt;
      if (Passes(filter, header, entry.date)) matching.insert(entry.name);
    }
    list_.TickWhere([&](const BadMailEntry& entry) { return matching.contains(entry.name); }, tick);
  }
  return std::string(tick ? "Ticked " : "Unticked ") + GroupedNumber(matching.size()) + " of " +
         GroupedNumber(list_.size()) + (list_.size() == 1 ? " row" : " rows");
}

void MainWindowHandlers::RefreshNow() { Reread(true); }

void MainWindowHandlers::Reread(bool tellUnreadable) {
  Guarded([this, tellUnreadable] {
    listedFrom_ = BadMailNow();
    BadMailScan scan = ScanBadMail(files_, locations_);
    const UnreadableFiles unreadable = CountUnreadable(scan);
    list_.Reconcile(std::move(scan.candidates));
    const std::string message = UnreadableMessage(unreadable);
    if (tellUnreadable && !message.empty()) window_.ShowError(message);
  });
}

void MainWindowHandlers::ParkedChanged(const std::set<std::string>& names, bool rescan) {
  // The operator asked for none of it: what could not be read is told by F5.
  if (rescan) return Reread(false);
  const std::vector<std::string> changed(names.begin(), names.end());
  Guarded([this, &changed] {
    list_.Apply(changed, ScanParkedNames(files_, locations_, changed).candidates);
  });
}

void MainWindowHandlers::UpdateRows(const std::vector<std::string>& names) {
  // The server's registry now names another Bad Mail directory: every row is
  // read again there.
  if (BadMailNow() != listedFrom_) return Reread(true);
  Guarded([this, &names] {
    list_.Apply(names, ScanParkedNames(files_, locations_, names).candidates);
    TickAll(false);
  });
}

void MainWindowHandlers::Log(const RunRecord& run) {
  if (log_ == nullptr) return;
  const std::optional<FileError> failure = LogRun(*log_, run);
  // Told once a window: the work goes on without its trail.
  if (!failure || logFailureShown_) return;
  logFailureShown_ = true;
  window_.ShowError(
      "The system log could not be written; requeues and deletions go on "
      "without their trail there.\n\n" +
      ErrorMessage(*failure));
}

void MainWindowHandlers::lvwMail_DblClick() {
  const std::optional<std::size_t> row = window_.SelectedRow();
  if (!row) return;
  Guarded([this, row] {
    const std::string name = list_[*row].entry.name;
    // The viewer opens the file by its path: it must be a regular file reached
    // without a link below the queue directory.
    const OpenedQueue parked = OpenQueue(files_, locations_, Queue::kBadMail);
    if (!parked.messages) {
      throw FileError(ErrorKind::kNotFound, kErrorNotFound, "The message file is no longer there",
                      PathText(parked.commands->path() / kMessagesDirectory));
    }
    parked.messages->Open(name, Access::kRead);
    window_.StartViewer(parked.messages->path() / PathFromText(name));
  });
}

void MainWindowHandlers::cmdQuit_Click() { window_.Close(); }

std::string MainWindowHandlers::RowTip(std::size_t position) const {
  return MessageTip(files_, locations_, list_[position].entry.name);
}

}  // namespace velmoth
