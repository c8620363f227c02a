// SPDX-License-Identifier: Apache-2.0
#include "cli/runtime.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace share::tools {
namespace {

constexpr double kMaxTimeoutSeconds = 3600;

// Leaves that only read; every other command may change something on the server.
constexpr std::string_view kReadOnlyLeaves[] = {
    "list",       "names",       "show",    "count", "shares",  "holders", "cache", "status",
    "connection", "connections", "volumes", "files", "metrics", "serve",   "help",
};

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The candidates closest to word (a typo or a prefix away), as ` (did you mean "a" or "b"?)`.
std::string DidYouMean(const std::string &word, const std::vector<std::string> &candidates) {
    const size_t allowed = word.size() <= 4 ? 1 : 2;
    size_t best = allowed + 1;
    std::vector<std::string> close;
    for (const auto &c : candidates) {
        size_t d = EditDistance(word, c);
        if (word.size() >= 2 && c.size() > word.size() && c.compare(0, word.size(), word) == 0)
            d = std::min(d, allowed);  // an unambiguous start counts as close
        if (d < best) {
            best = d;
            close.clear();
        }
        if (d == best && std::find(close.begin(), close.end(), c) == close.end())
            close.push_back(c);
    }
    if (close.empty()) return "";
    std::string text = " (did you mean ";
    for (size_t i = 0; i < close.size(); ++i)
        text += (i == 0 ? "" : i + 1 == close.size() ? " or " : ", ") + ("\"" + close[i] + "\"");
    return text + "?)";
}

std::vector<CLI::App *> Subcommands(CLI::App *app) {
    return app->get_subcommands([](CLI::App *) { return true; });
}

CLI::App *FindSubcommand(CLI::App *app, const std::string &word) {
    for (CLI::App *sub : Subcommands(app))
        if (sub->check_name(word)) return sub;
    return nullptr;
}

std::vector<std::string> SubcommandNames(CLI::App *app) {
    std::vector<std::string> names;
    for (CLI::App *sub : Subcommands(app)) {
        names.push_back(sub->get_name());
        for (const auto &alias : sub->get_aliases()) names.push_back(alias);
    }
    return names;
}

std::string CommandPath(const CLI::App *app) {
    std::string path;
    for (; app && app->get_parent(); app = app->get_parent())
        path = app->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

std::string RootName(const CLI::App *app) {
    while (app->get_parent()) app = app->get_parent();
    return app->get_name();
}

std::string HelpHint(const CLI::App *app) {
    const std::string path = CommandPath(app);
    return "; see \"" + RootName(app) + (path.empty() ? "" : " " + path) + " --help\"";
}

// What is wrong with a command line CLI11 refused, naming the word at fault. `at` becomes the
// command reached. Empty when the walk finds nothing wrong (CLI11's own message is then used).
std::string Diagnose(CLI::App &root, int argc, char **argv, CLI::App **at) {
    CLI::App *app = &root;
    size_t positionals = 0;
    auto capacity = [](CLI::App *a) {
        size_t n = 0;
        for (const CLI::Option *o : a->get_options())
            if (o->get_positional()) n += static_cast<size_t>(o->get_items_expected_max());
        return n;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() > 1 && arg[0] == '-') {
            const std::string name = arg.substr(0, arg.find('='));
            const CLI::Option *option = nullptr;
            for (CLI::App *a = app; a && !option; a = a->get_parent())
                option = a->get_option_no_throw(name);
            if (option == nullptr) {
                std::vector<std::string> names;
                for (CLI::App *a = app; a; a = a->get_parent())
                    for (const CLI::Option *o : a->get_options())
                        for (const auto &l : o->get_lnames()) names.push_back("--" + l);
                *at = app;
                return "unknown option \"" + name + "\"" + DidYouMean(name, names) + HelpHint(app);
            }
            if (option->get_items_expected_max() > 0 && arg.find('=') == std::string::npos) {
                if (++i == argc) {
                    *at = app;
                    return "option \"" + name + "\" needs a value" + HelpHint(app);
                }
            }
            continue;
        }
        if (CLI::App *sub = FindSubcommand(app, arg)) {
            app = sub;
            positionals = 0;
            continue;
        }
        if (positionals < capacity(app)) {
            ++positionals;
            continue;
        }
        *at = app;
        if (!Subcommands(app).empty())
            return "unknown command \"" + arg + "\"" + DidYouMean(arg, SubcommandNames(app)) +
                   HelpHint(app);
        return "unexpected argument \"" + arg + "\"" + HelpHint(app);
    }
    *at = app;
    if (app->get_require_subcommand_min() > 0) {
        std::string names;
        for (CLI::App *sub : Subcommands(app))
            names += (names.empty() ? "" : ", ") + sub->get_name();
        return "a command is required: " + names;
    }
    return "";
}

// --json or --format json anywhere: the command line could not be parsed, so it is looked for.
bool JsonRequested(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "--json" || arg == "--format=json") return true;
        if (arg == "--format" && i + 1 < argc && std::strcmp(argv[i + 1], "json") == 0) return true;
    }
    return false;
}

int UsageError(CLI::App &root, const std::string &message, CLI::App *at, bool json) {
    const std::string path = CommandPath(at);
    return Reporter(root.get_name().c_str(), json).Usage(path.empty() ? "usage" : path, message);
}

// `help [COMMAND...]`: the help of that command.
int PrintHelp(CLI::App &root, const std::vector<std::string> &words, bool json) {
    CLI::App *app = &root;
    for (const auto &word : words) {
        CLI::App *sub = FindSubcommand(app, word);
        if (sub == nullptr)
            return UsageError(root,
                              "unknown command \"" + word + "\"" +
                                  DidYouMean(word, SubcommandNames(app)) + HelpHint(app),
                              app, json);
        app = sub;
    }
    const std::string path = CommandPath(app);
    std::fputs(app->get_formatter()
                   ->make_help(app, root.get_name() + (path.empty() ? "" : " " + path),
                               CLI::AppFormatMode::Normal)
                   .c_str(),
               stdout);
    return kExitOk;
}

// True when the parsed command only reads (its leaf is a listing or a view).
bool CommandOnlyReads(const CLI::App &app) {
    const std::string path = ParsedCommand(app);
    const std::string leaf = path.substr(path.rfind(' ') + 1);
    return std::find(std::begin(kReadOnlyLeaves), std::end(kReadOnlyLeaves), leaf) !=
           std::end(kReadOnlyLeaves);
}

struct HelpWords {
    std::vector<std::string> words;
    CLI::App *command = nullptr;
};

HelpWords &Help() {
    static HelpWords help;
    return help;
}

}  // namespace

void AddRuntimeOptions(CLI::App &app, RuntimeOptions &options) {
    app.add_option("--timeout", options.timeoutSeconds,
                   "Give up when the file server has not answered within SECONDS")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string &value) -> std::string {
                double seconds = 0;
                if (!CLI::detail::lexical_cast(value, seconds) || !(seconds > 0) ||
                    seconds > kMaxTimeoutSeconds)
                    return "SECONDS must be a number greater than 0 and at most 3600, not \"" +
                           value + "\"";
                return "";
            },
            "", "TIMEOUT"));
    app.set_version_flag("--version", app.get_name() + " " + SHARE_VERSION, "Print the version");
    HelpWords &help = Help();
    help.command = app.add_subcommand("help", "Print the help of a command: help [COMMAND...]");
    help.command->add_option("COMMAND", help.words, "The command, as typed after the tool");
}

int ParseCommandLine(CLI::App &app, int argc, char **argv) {
    const bool json = JsonRequested(argc, argv);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        CLI::App *at = &app;
        const std::string diagnosis = Diagnose(app, argc, argv, &at);
        return UsageError(app, diagnosis.empty() ? e.what() : diagnosis, at, json);
    }
    if (Help().command && Help().command->parsed()) return PrintHelp(app, Help().words, json);
    return -1;
}

std::string ParsedCommand(const CLI::App &app) {
    std::string path;
    for (const CLI::App *a = &app;;) {
        const auto parsed = a->get_subcommands();
        if (parsed.empty()) return path;
        a = parsed.front();
        path += (path.empty() ? "" : " ") + a->get_name();
    }
}

int StartCommand(const Reporter &out, const CLI::App &app, const RuntimeOptions &options,
                 const ServerTrust &trust) {
    const std::string accepted = ApplyServerTrust(trust);
    const std::string command = ParsedCommand(app);
    // The exporter's commands bound each gather themselves and report any failure, the
    // endpoint's holder included, in what they write.
    const bool exporter = command == "serve" || command == "metrics";
    if (!exporter) StartWatchdog(out, options.timeoutSeconds, command, !CommandOnlyReads(app));
    ServerWait wait;  // connecting blocks while the server's backlog is full
    const client::TrustCheck check = client::CheckServerTrust(accepted);
    switch (check.verdict) {
        case client::TrustCheck::kAccepted:
            return -1;
        case client::TrustCheck::kMalformed:
            return out.Rejected("server", std::string(client::kServerUidsVariable) + "=\"" +
                                              accepted +
                                              "\" is not a comma-separated list of numeric uids");
        case client::TrustCheck::kUnexpected:
            if (exporter) return -1;
            break;
    }
    return out.UnexpectedServer(check.uid, check.pid, accepted);
}

void AddServerTrustOptions(CLI::App &app, ServerTrust &trust) {
    app.add_option("--server-uid", trust.uids,
                   "Accept a server run by this uid (repeatable; default: root and you)")
        ->check(CLI::Range(uint32_t{0}, uint32_t{4294967294u}))
        ->type_name("UID");
    app.add_flag("--any-server", trust.any,
                 "Talk to whatever process holds the endpoint, whoever runs it");
}

}  // namespace share::tools
