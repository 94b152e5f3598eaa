// velmoth-queue's arguments, parsed by CLI11 into the options of one command,
// with the help, version and usage errors expected of a command-line tool, and
// a failing command reported on standard error with its error's number and path.
#include "cli/queue_command.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <functional>

#include "base/case_fold.h"
#include "base/name_escape.h"
#include "cli/output_text.h"
#include "velmoth_version.h"

namespace velmoth {
namespace {

constexpr char kDescription[] =
    "Lists the messages the mail server has parked in its Bad Mail directory after\n"
    "their delivery finally failed, requeues them into the SMTP outbound queue as\n"
    "messages never tried, and deletes those that must never be sent. The two\n"
    "directories come from the server's registry values. Every requeue and delete is\n"
    "recorded in the system log.";

constexpr char kDateForms[] =
    "2026-12-07, 2026-12-07 08:15 or 2026-12-07T08:15:30 in local time, "
    "2026-12-07T08:15:30Z in UTC";

constexpr char kFooter[] =
    "Names are written with each backslash doubled and each control character, and each byte\n"
    "that is not UTF-8, as \\xHH; requeue, delete and show take a name written so, or as\n"
    "it is.\n"
    "A message is taken when it passes every filter given; requeue with filters and no\n"
    "names requeues every candidate that passes them.\n"
    "Exit status: 0 done, 1 a message or the command failed, 2 a usage error."
#ifdef _WIN32
    "\nUnder Wine, Windows programs see a Unix symbolic link as the file it points to, so\n"
    "this program cannot tell a linked parked file from a real one there: on a server\n"
    "under Wine, use the Linux velmoth-queue, which never follows a link in a queue."
#endif
    ;

struct Arguments {
  ListOptions list;
  RequeueCommandOptions requeue;
  DeleteCommandOptions del;
  std::string showName;
  SummaryCommandOptions summary;
};

// The filters of a command, which a message must all pass. Text is matched anywhere
// in the decoded field, without letter case in any script.
std::vector<CLI::Option*> AddFilters(CLI::App& command, MessageFilter& filter) {
  const auto text = [&command](const char* name, std::optional<std::string>& part,
                               const std::string& help) {
    return command
        .add_option_function<std::string>(
            name, [&part](const std::string& typed) { part = CaseFold(typed); }, help)
        ->type_name("TEXT");
  };
  const auto date = [&command](const char* name, std::optional<FileDate>& bound,
                               const std::string& help) {
    const auto read = [&bound, name](const std::string& typed) {
      bound = ParseDateBound(typed);
      if (!bound) throw CLI::ValidationError(name, "not a date: " + std::string(kDateForms));
    };
    return command.add_option_function<std::string>(name, read, help)->type_name("DATE");
  };
  return {text("--from", filter.from, "Only messages whose From holds TEXT"),
          text("--to", filter.to, "Only messages whose To or Cc holds TEXT"),
          text("--subject", filter.subject, "Only messages whose Subject holds TEXT"),
          text("--match", filter.match, "Only messages whose From, To, Cc or Subject holds TEXT"),
          date("--after", filter.after, "Only command files dated at or after DATE"),
          date("--before", filter.before, "Only command files dated before DATE")};
}

// A name as list writes it: no escape may stand for the byte 00, which no name
// holds and which would end the name early.
const CLI::Validator kParkedName(
    [](std::string& typed) -> std::string {
      if (UnescapeName(typed).find('\0') == std::string::npos) return {};
      return "a name holds no byte 00 (\\x00): " + typed;
    },
    "", "NAME");

void AddList(CLI::App& app, ListOptions& options) {
  CLI::App* list = app.add_subcommand(
      "list",
      "List the requeue candidates: name, message size, command file date (local time), "
      "from, to, subject");
  CLI::Option* all =
      list->add_flag("-a,--all", options.all,
                     "Also list the parked files that are no candidates, with the reason");
  CLI::Option* json =
      list->add_flag("--json", options.json,
                     "Write one JSON array of objects: name, size, date (UTC), candidate, reason, "
                     "from, to, cc, subject, date_header");
  CLI::Option* names = list->add_flag(
      "--names", options.names,
      "Write only the names, one a line, reading no message header (for shell completion)");
  names->excludes(json);
  list->add_flag("--outbound", options.outbound,
                 "List the outbound queue's messages instead, read only, with the state their "
                 "command files give: status, retries, next send time (local time; UTC in JSON)")
      ->excludes(all)
      ->excludes(names);
  AddFilters(*list, options.filter);
  // The header filters would read every message file that the names leave unread.
  for (const char* header : {"--from", "--to", "--subject", "--match"}) {
    names->excludes(list->get_option(header));
  }
}

void AddRequeue(CLI::App& app, RequeueCommandOptions& options) {
  CLI::App* requeue = app.add_subcommand(
      "requeue",
      "Requeue the named candidates, or all that pass the filters, deleting their parked files");
  CLI::Option* all =
      requeue->add_flag("-a,--all", options.all, "Requeue every candidate that passes the filters");
  CLI::Option* names =
      requeue->add_option("NAME", options.names, "A candidate's name, as list writes it")
          ->excludes(all)
          ->check(kParkedName);
  for (CLI::Option* filter : AddFilters(*requeue, options.filter)) names->excludes(filter);
  requeue->add_flag("-k,--keep", options.keep, "Keep the parked files in Bad Mail");
  requeue->add_flag("-n,--dry-run", options.dryRun, "Say what would be done; change nothing");
  requeue->add_flag("--json", options.json,
                    "Write one JSON array of objects: name, outcome, reason, error");
  requeue->callback([&options] {
    if (!options.all && options.names.empty() && !options.filter.Any()) {
      throw CLI::ValidationError("requeue: name the messages to requeue, give --all, or filter");
    }
  });
}

void AddDelete(CLI::App& app, DeleteCommandOptions& options) {
  CLI::App* del = app.add_subcommand(
      "delete",
      "Delete the named parked messages, or all candidates or non-delivery reports that pass the "
      "filters, from Bad Mail for good");
  CLI::Option* all =
      del->add_flag("-a,--all", options.all, "Delete every candidate that passes the filters");
  CLI::Option* ndr =
      del->add_flag("--ndr", options.ndr,
                    "Delete every parked non-delivery report that passes the filters")
          ->excludes(all);
  CLI::Option* names =
      del->add_option("NAME", options.names, "A parked message's name, as list --all writes it")
          ->excludes(all)
          ->excludes(ndr)
          ->check(kParkedName);
  for (CLI::Option* filter : AddFilters(*del, options.filter)) names->excludes(filter);
  del->add_flag("-n,--dry-run", options.dryRun, "Say what would be deleted; change nothing");
  del->add_flag("--json", options.json,
                "Write one JSON array of objects: name, outcome, reason, error");
  del->add_flag("-y,--yes", options.yes, "Delete without asking, as a script must");
  del->callback([&options] {
    if (!options.all && !options.ndr && options.names.empty() && !options.filter.Any()) {
      throw CLI::ValidationError(
          "delete: name the messages to delete, give --all or --ndr, or filter");
    }
  });
}

void AddShow(CLI::App& app, std::string& name) {
  CLI::App* show =
      app.add_subcommand("show", "Write a parked message file to standard output as it is");
  show->add_option("NAME", name, "The parked message's name, as list writes it")
      ->required()
      ->check(kParkedName);
}

void AddSummary(CLI::App& app, SummaryCommandOptions& options) {
  CLI::App* summary = app.add_subcommand(
      "summary", "Sum up the candidates that pass the filters by domain or day: count, size, ages");
  summary->footer(
      app.get_footer() +
      "\nA message counts in each domain it is sent to, under (none) when it has no domain\n"
      "there; size is the message files' bytes. The ages count command files dated less than\n"
      "an hour ago (<1h, in JSON 1h), 1 to 6 hours (<6h), 6 hours to a day (<1d), 1 to 3\n"
      "days (<3d), 3 to 7 days (<7d), 7 to 30 days (<30d), and 30 days ago or earlier (older).");
  const auto grouping = [&options](const std::string& typed) {
    for (const SummaryGrouping by :
         {SummaryGrouping::kToDomain, SummaryGrouping::kFromDomain, SummaryGrouping::kDay}) {
      if (typed == SummaryGroupingWord(by)) return void(options.by = by);
    }
    throw CLI::ValidationError("--by", "not to-domain, from-domain or day: " + typed);
  };
  summary
      ->add_option_function<std::string>(
          "--by", grouping,
          "Group by the domains in To and Cc (to-domain, the default), in From "
          "(from-domain), or by the command file's local day (day)")
      ->type_name("GROUPING:{to-domain,from-domain,day}");
  summary->add_flag("--json", options.json,
                    "Write one JSON object: by, groups (group, count, bytes, ages), total");
  AddFilters(*summary, options.filter);
}

// The first argument when it is neither an option nor one of the commands.
std::optional<std::string> UnknownCommand(const CLI::App& app,
                                          const std::vector<std::string>& args) {
  if (args.empty() || args.front().starts_with("-")) return std::nullopt;
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->get_name() == args.front()) return std::nullopt;
  }
  return args.front();
}

int RunParsed(const CLI::App& app, const Arguments& args, const Console& console, FileSystem& files,
              const QueueLocations& locations) {
  if (app.got_subcommand("list")) return RunList(args.list, console, files, locations);
  if (app.got_subcommand("requeue")) return RunRequeue(args.requeue, console, files, locations);
  if (app.got_subcommand("delete")) return RunDelete(args.del, console, files, locations);
  if (app.got_subcommand("summary")) return RunSummary(args.summary, console, files, locations);
  return RunShow(args.showName, console, files, locations);
}

// Runs the command; a failure that stops it is told on standard error.
int Reported(const Console& console, FileSystem& files, const QueueLocations& locations,
             const std::function<int()>& command) {
  try {
    return command();
  } catch (const FileError& error) {
    ReportError(console, error, files, locations);
  } catch (const std::exception& error) {
    console.err << kProgram << ": " << error.what() << '\n';
  }
  return kExitFailure;
}

}  // namespace

int RunQueueCommand(const std::vector<std::string>& args, const Console& console, FileSystem& files,
                    const QueueLocations& locations) {
  CLI::App app(kDescription, kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + VELMOTH_VERSION_TEXT);
  app.require_subcommand(1);
  app.footer(std::string(kFooter) + "\nDATE is " + kDateForms + ".");
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return std::string(kProgram) + ": " + error.what() +
           "\nRun with --help for more information.\n";
  });
  Arguments parsed;
  AddList(app, parsed.list);
  AddRequeue(app, parsed.requeue);
  AddDelete(app, parsed.del);
  AddShow(app, parsed.showName);
  AddSummary(app, parsed.summary);
  if (const auto unknown = UnknownCommand(app, args)) {
    std::string commands;
    for (const CLI::App* command : app.get_subcommands({})) {
      commands += (commands.empty() ? "" : ", ") + command->get_name();
    }
    console.err << kProgram << ": \"" << *unknown << "\" is not a command (" << commands
                << ")\nRun with --help for more information.\n";
    return kExitUsage;
  }
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));  // CLI11 takes them reversed
  } catch (const CLI::ParseError& error) {
    return app.exit(error, console.out, console.err) == 0 ? kExitSuccess : kExitUsage;
  }
  int status = Reported(console, files, locations,
                        [&] { return RunParsed(app, parsed, console, files, locations); });
  if (!console.out.flush()) {
    console.err << kProgram << ": standard output could not be written\n";
    status = kExitFailure;
  }
  return status;
}

}  // namespace velmoth
