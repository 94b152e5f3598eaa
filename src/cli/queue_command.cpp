// velmoth-queue's arguments, parsed by CLI11 into the options of one command,
// with the help, version and usage errors expected of a command-line tool, and
// a failing command reported on standard error with its error's number and path.
#include "cli/queue_command.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <functional>

#include "cli/output_text.h"
#include "velmoth_version.h"

namespace velmoth {
namespace {

constexpr char kDescription[] =
    "Lists the messages the mail server has parked in its Bad Mail directory after\n"
    "their delivery finally failed, and requeues them into the SMTP outbound queue as\n"
    "messages never tried. The two directories come from the server's registry values.";

constexpr char kFooter[] =
    "Names are written with each backslash doubled and each control character, and each byte\n"
    "that is not UTF-8, as \\xHH; requeue and show take a name written so, or as it is.\n"
    "Exit status: 0 done, 1 a message or the command failed, 2 a usage error.";

struct Arguments {
  ListOptions list;
  RequeueCommandOptions requeue;
  std::string showName;
};

void AddList(CLI::App& app, ListOptions& options) {
  CLI::App* list = app.add_subcommand(
      "list", "List the requeue candidates: name, message size, command file date (local time)");
  list->add_flag("-a,--all", options.all,
                 "Also list the parked files that are no candidates, with the reason");
  list->add_flag("--json", options.json,
                 "Write one JSON array of objects: name, size, date (UTC), candidate, reason");
}

void AddRequeue(CLI::App& app, RequeueCommandOptions& options) {
  CLI::App* requeue = app.add_subcommand(
      "requeue", "Requeue the named candidates, or all of them, deleting their parked files");
  CLI::Option* all = requeue->add_flag("-a,--all", options.all, "Requeue every candidate");
  requeue->add_option("NAME", options.names, "A candidate's name, as list writes it")
      ->excludes(all);
  requeue->add_flag("-k,--keep", options.keep, "Keep the parked files in Bad Mail");
  requeue->add_flag("-n,--dry-run", options.dryRun, "Say what would be done; change nothing");
  requeue->add_flag("--json", options.json,
                    "Write one JSON array of objects: name, outcome, reason, error");
  requeue->callback([&options] {
    if (!options.all && options.names.empty()) {
      throw CLI::ValidationError("requeue: name the messages to requeue, or give --all");
    }
  });
}

void AddShow(CLI::App& app, std::string& name) {
  CLI::App* show =
      app.add_subcommand("show", "Write a parked message file to standard output as it is");
  show->add_option("NAME", name, "The parked message's name, as list writes it")->required();
}

int RunParsed(const CLI::App& app, const Arguments& args, const Console& console,
              FileSystem& files) {
  if (app.got_subcommand("list")) return RunList(args.list, console, files);
  if (app.got_subcommand("requeue")) return RunRequeue(args.requeue, console, files);
  return RunShow(args.showName, console, files);
}

// Runs the command; a failure that stops it is told on standard error.
int Reported(const Console& console, const std::function<int()>& command) {
  try {
    return command();
  } catch (const FileError& error) {
    console.err << kProgram << ": " << ErrorText(error) << '\n';
  } catch (const std::exception& error) {
    console.err << kProgram << ": " << error.what() << '\n';
  }
  return kExitFailure;
}

}  // namespace

int RunQueueCommand(const std::vector<std::string>& args, const Console& console,
                    FileSystem& files) {
  CLI::App app(kDescription, kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + VELMOTH_VERSION_TEXT);
  app.require_subcommand(1);
  app.footer(kFooter);
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return std::string(kProgram) + ": " + error.what() +
           "\nRun with --help for more information.\n";
  });
  Arguments parsed;
  AddList(app, parsed.list);
  AddRequeue(app, parsed.requeue);
  AddShow(app, parsed.showName);
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));  // CLI11 takes them reversed
  } catch (const CLI::ParseError& error) {
    return app.exit(error, console.out, console.err) == 0 ? kExitSuccess : kExitUsage;
  }
  int status = Reported(console, [&] { return RunParsed(app, parsed, console, files); });
  if (!console.out.flush()) {
    console.err << kProgram << ": standard output could not be written\n";
    status = kExitFailure;
  }
  return status;
}

}  // namespace velmoth
