// wcxhost: drives a WCX packer plug-in from the command line, making the
// calls a file manager makes, so that scripts and tests can use a plug-in
// without one.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <string>

#include "commands.h"
#include "host_conventions.h"
#include "host_error.h"
#include "host_system.h"
#include "progress.h"

namespace {

using namespace wcxhost;

std::string DefaultPluginPath() {
  std::filesystem::path executable = sys::ExecutablePath();
  return sys::PathString(executable.parent_path() / kDefaultPluginName);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Drives a WCX packer plug-in the way a file manager does.", "wcxhost"};
  // Options of the main command are accepted after the subcommand too.
  app.fallthrough();
  app.require_subcommand(1);
  app.footer(
      "Making a new compound file: 'wcxhost add NEW.doc FILE...' creates NEW.doc holding\n"
      "the files. Options of wcxhost itself (--plugin, --ini, --lenient-end, --wide, --ansi)\n"
      "may also follow the subcommand.\n"
      "Exit status: 0 success, 1 failure (or check: not handled), 2 bad command line,\n"
      "3 plug-in missing or unusable, 130 cancelled.");
  std::string plugin_path;
  app.add_option("--plugin", plugin_path,
                 "The WCX plug-in to load (default: " + std::string(kDefaultPluginName) +
                     " in the folder of wcxhost)");
  bool lenient_end = false;
  app.add_flag("--lenient-end", lenient_end,
               "Take an error after the first entry as the end of the archive, as Double Commander does\n"
               "(for plug-ins that end every listing with an error, e.g. cpio.wcx)");
  bool wide = false;
  bool ansi = false;
  auto* wide_flag = app.add_flag("--wide", wide,
                                 "Drive the plug-in's Unicode (W) functions (the default where it exports them,\n"
                                 "as file managers do)");
  app.add_flag("--ansi", ansi, "Drive the plug-in's 8-bit functions, as older file managers do")
      ->excludes(wide_flag);
  std::string ini_file;
  app.add_option("--ini", ini_file,
                 "Name FILE to the plug-in as the ini file of its settings (PackSetDefaultParams),\n"
                 "as file managers name theirs");
  int64_t cancel_after = -1;
  // Test hook: cancel at progress callback N + 1, as if Ctrl-C had been pressed.
  app.add_option("--cancel-after", cancel_after)->group("");

  std::function<int(const Plugin&)> run;
  std::string archive;
  app.add_subcommand("caps", "Show the plug-in's capability bits and the functions it exports")
      ->callback([&] { run = RunCaps; });

  std::string file;
  auto* check = app.add_subcommand("check", "Ask the plug-in whether it handles FILE (exit 0: yes, 1: no)");
  check->add_option("FILE", file, "The file to test")->required();
  check->callback([&] { run = [&](const Plugin& plugin) { return RunCheck(plugin, file); }; });

  bool long_format = false;
  auto* list = app.add_subcommand("list", "List the entries of ARCHIVE: size, date and path, folders ending in /");
  list->add_option("ARCHIVE", archive, "The archive")->required();
  list->add_flag("-l,--long", long_format, "Show attributes and packed sizes too");
  list->callback([&] { run = [&](const Plugin& plugin) { return RunList(plugin, archive, long_format); }; });

  auto* test = app.add_subcommand("test", "Test every file of ARCHIVE through the plug-in");
  test->add_option("ARCHIVE", archive, "The archive")->required();
  test->callback([&] { run = [&](const Plugin& plugin) { return RunTest(plugin, archive); }; });

  ExtractOptions extract_options;
  auto* extract = app.add_subcommand("extract", "Extract ARCHIVE, or the named PATHs in it, into a folder");
  extract->add_option("ARCHIVE", extract_options.archive, "The archive")->required();
  extract->add_option("PATH", extract_options.paths, "Entries to extract; a folder brings everything in it");
  extract->add_option("-C,--directory", extract_options.directory, "The folder to extract into (default: .)");
  extract->callback([&] { run = [&](const Plugin& plugin) { return RunExtract(plugin, extract_options); }; });

  AddOptions add_options;
  auto* add = app.add_subcommand(
      "add", "Add files and folders (recursively) to ARCHIVE, creating it when it does not exist");
  add->add_option("ARCHIVE", add_options.archive, "The archive")->required();
  add->add_option("SOURCE", add_options.sources, "Files and folders to add, stored under their own names")
      ->required();
  add->add_option("--into", add_options.into, "The folder in the archive to add to (default: the root)");
  add->add_flag("--move", add_options.move, "Delete the sources once they are stored");
  add->callback([&] { run = [&](const Plugin& plugin) { return RunAdd(plugin, add_options); }; });

  std::vector<std::string> delete_paths;
  auto* remove = app.add_subcommand("delete", "Delete entries from ARCHIVE; a folder goes with everything in it");
  remove->add_option("ARCHIVE", archive, "The archive")->required();
  remove->add_option("PATH", delete_paths, "Entries to delete")->required();
  remove->callback([&] { run = [&](const Plugin& plugin) { return RunDelete(plugin, archive, delete_paths); }; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }

  try {
    SetUpProgress(sys::StderrIsTerminal(), cancel_after);
    const Interface interface = wide ? Interface::kWide : ansi ? Interface::kAnsi : Interface::kAuto;
    Plugin plugin(plugin_path.empty() ? DefaultPluginPath() : plugin_path, interface);
    plugin.lenient_end = lenient_end;
    if (!ini_file.empty()) plugin.SetDefaultParams(ini_file);
    return run(plugin);
  } catch (const HostError& e) {
    PrintMessage(e.what());
    return e.exit_status();
  } catch (const std::exception& e) {
    PrintMessage(e.what());
    return kExitFailed;
  }
}
