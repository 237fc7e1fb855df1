// The command line of tavisk-cli: its options and subcommands (CLI11), the language, the
// catalogue opened for the commands that need it, and the exit code.
#include "cli/commands.h"

#include "catalogue/connection.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "lang/version.h"

#include <CLI/CLI.hpp>

#include <QCoreApplication>

namespace tvk::cli {

namespace {

// The options of every subcommand, and which command was chosen.
struct Command {
    std::string name;
    AddOptions add;
    UpdateOptions update;
    int discId = 0;
    bool yes = false;
    std::string target;
    SearchOptions search;
    std::optional<int> exportDisc;
    bool exportAll = false;
    std::optional<std::string> minSize;
    std::vector<std::string> paths;
    std::optional<std::string> verifyPath;
};

void addGlobalOptions(CLI::App& app, GlobalOptions& options, std::string& format) {
    app.add_option("--host", options.host, "catalogue server (default: the window's settings)");
    app.add_option("--port", options.port, "catalogue server's TCP port");
    app.add_option("--user", options.user, "account on the catalogue server");
    app.add_option("--database", options.database, "catalogue database");
    app.add_option("--format", format,
                   "output: text (aligned), csv (RFC 4180, header row), json (one array) or jsonl "
                   "(one object a line); in JSON a name that is not UTF-8 also comes as "
                   "<key>_bytes, its raw bytes in base64")
        ->check(CLI::IsMember({"text", "csv", "json", "jsonl"}));
}

void addCommands(CLI::App& app, Command& command) {
    app.add_subcommand("discs", "every disc: number, name, entries, bytes, where and when read");

    CLI::App* add = app.add_subcommand("add", "add a folder, a mount point or a disc image as a "
                                              "new disc; prints its number");
    add->add_option("PATH", command.add.path, "folder or disc image")->required();
    add->add_option("--name", command.add.name, "the disc's name (default: the volume label)");
    add->add_flag("--fingerprint", command.add.fingerprint,
                  "fingerprint every file's contents (default: the indexing options)");

    CLI::App* update =
        app.add_subcommand("update", "read disc N again, from PATH or from where it was read");
    update->add_option("N", command.update.discId, "disc number")->required();
    update->add_option("PATH", command.update.path, "folder or disc image");
    update->add_flag("--force", command.update.force,
                     "read it even when it is another disc, or holds nothing");
    update->add_flag("--fingerprint", command.update.fingerprint,
                     "fingerprint every file's contents (default: the indexing options)");

    CLI::App* remove = app.add_subcommand("delete", "remove disc N and its entries");
    remove->add_option("N", command.discId, "disc number")->required();
    remove->add_flag("--yes", command.yes, "do not ask");

    CLI::App* ls = app.add_subcommand("ls", "list a folder or archive of a disc");
    ls->add_option("N[:/path]", command.target, "disc number, and the path in the disc")
        ->required();

    CLI::App* search = app.add_subcommand("search", "search every disc, as the window's search");
    SearchOptions& s = command.search;
    search->add_option("WORDS", s.words, "words of the names (full-text search)");
    search->add_option("--name", s.names, "name pattern with * and ? (repeatable)");
    search->add_option("--from", s.from, "modified from this day (YYYY-MM-DD)");
    search->add_option("--to", s.to, "modified up to this day (YYYY-MM-DD)");
    search->add_option("--limit", s.limit, "at most this many hits (default: all)");
    search->add_option("--disc", s.disc, "only on this disc");
    search->add_option("--type", s.type, "only this type")
        ->check(CLI::IsMember({"file", "dir", "archive"}));
    search->add_option("--min-size", s.minSize, "at least SIZE (bytes, or with K, M, G)");
    search->add_option("--max-size", s.maxSize, "at most SIZE (bytes, or with K, M, G)");

    CLI::App* exporting = app.add_subcommand("export", "every entry of disc N with its full path");
    exporting->add_option("N", command.exportDisc, "disc number");
    exporting->add_flag("--all", command.exportAll, "every disc");

    CLI::App* duplicates = app.add_subcommand(
        "duplicates", "files with the same contents on the discs, the most wasteful first");
    duplicates->add_option("--min-size", command.minSize,
                           "only files of at least SIZE (bytes, or with K, M, G)");

    CLI::App* which =
        app.add_subcommand("which", "the discs that hold the contents of these files or folders");
    which->add_option("PATH", command.paths, "file or folder of this machine")->required();

    CLI::App* verify = app.add_subcommand(
        "verify", "read disc N again and compare it with the catalogue; nothing is changed");
    verify->add_option("N", command.discId, "disc number")->required();
    verify->add_option("PATH", command.verifyPath,
                       "folder or disc image (default: where it "
                       "was read)");

    for (CLI::App* sub : app.get_subcommands({})) {
        sub->fallthrough();
        sub->callback([&command, sub] { command.name = sub->get_name(); });
    }
}

Format formatOf(const std::string& name) {
    if (name == "csv")
        return Format::Csv;
    if (name == "json")
        return Format::Json;
    if (name == "jsonl")
        return Format::Jsonl;
    return Format::Text;
}

int runCommand(const GlobalOptions& options, const Command& command) {
    if (command.name == "discs")
        return listDiscs(options);
    if (command.name == "add")
        return addDisc(options, command.add);
    if (command.name == "update")
        return updateDisc(options, command.update);
    if (command.name == "delete")
        return deleteDisc(options, command.discId, command.yes);
    if (command.name == "ls")
        return listFolder(options, command.target);
    if (command.name == "search")
        return search(options, command.search);
    if (command.name == "duplicates")
        return listDuplicates(options, command.minSize);
    if (command.name == "which")
        return whichFiles(options, command.paths);
    if (command.name == "verify")
        return verifyDisc(options, command.discId, command.verifyPath);
    return exportEntries(options, command.exportAll ? std::nullopt : command.exportDisc);
}

} // namespace

int runCli(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    CLI::App app{"Tavisk from the shell: the catalogue of discs, read and searched."};
    app.set_version_flag("--version", std::string("tavisk-cli ") + TAVISK_VERSION_TEXT);
    app.footer("Exit codes: 0 done, 1 nothing found, 2 usage, 3 catalogue unreachable or "
               "refused, 4 source unreadable or refused, 130 interrupted.\nPassword: the "
               "TAVISK_PASSWORD environment variable, else the window's settings, else asked on "
               "the terminal.");
    app.require_subcommand(1);
    GlobalOptions options;
    std::string format = "text";
    addGlobalOptions(app, options, format);
    Command command;
    addCommands(app, command);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? EXIT_DONE : EXIT_USAGE;
    }
    options.format = formatOf(format);
    if (!loadLanguage())
        return EXIT_NO_LANGUAGE;
    if (command.name == "export" && !command.exportAll && !command.exportDisc) {
        say(loadLangString(IDS_CLI_EXPORT_NEEDS_DISC));
        return EXIT_USAGE;
    }
    catchInterrupt();
    if (const int opened = openCatalogue(options); opened != EXIT_DONE)
        return opened;
    const int code = runCommand(options, command);
    closeCatalogueConnection();
    taviskPlg_remove_plugins();
    return code;
}

} // namespace tvk::cli
