// SPDX-License-Identifier: Apache-2.0
// shareadm config export / diff / apply.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "output/plan_view.h"
#include "shareadm/config.h"
#include "shareadm/tool.h"

namespace share::shareadm {
namespace {

namespace engine = client::config;
using engine::Plan;
using engine::Problem;
using engine::ServerState;

struct ConfigParams {
    std::string file;
    std::string output;
    bool dryRun = false, prune = false, force = false;
};

Json Versioned(Json body) {
    Json doc{{"schema_version", engine::kSchemaVersion}};
    doc.update(body);
    return doc;
}

void PrintJson(const Json &doc) {
    std::printf("%s\n", doc.dump(2).c_str());
    std::fflush(stdout);
}

// A line of the terminal report: control characters (a NUL would end it) as escapes.
std::string Printable(const std::string &text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", u);
        out += escape;
    }
    return out;
}

// Nothing was changed: the problems with their pointers, at most engine::kMaxProblemsShown of
// them, and how many more there are.
int Problems(const tools::Reporter &out, const std::string &action, const std::string &file,
             const std::vector<Problem> &problems) {
    const std::string message = std::to_string(problems.size()) +
                                (problems.size() == 1 ? " problem" : " problems") + " in " + file +
                                "; nothing was changed";
    const size_t shown = std::min(problems.size(), engine::kMaxProblemsShown);
    const std::vector<Problem> listed(problems.begin(),
                                      problems.begin() + static_cast<long>(shown));
    std::fprintf(stderr, "shareadm: %s: %s\n", action.c_str(), Printable(message).c_str());
    for (const auto &p : listed)
        std::fprintf(stderr, "  %s: %s\n",
                     p.pointer.empty() ? "(document)" : Printable(p.pointer).c_str(),
                     Printable(ProblemMessage(p)).c_str());
    if (shown < problems.size())
        std::fprintf(stderr, "  ... and %zu more\n", problems.size() - shown);
    if (out.json()) {
        Json extra = {{"problems", ProblemList(listed)}};
        if (shown < problems.size()) extra["problems_not_shown"] = problems.size() - shown;
        PrintJson(Versioned(
            tools::Reporter::ErrorBody("rejected", action, message, tools::kExitRejected, extra)));
    }
    return tools::kExitRejected;
}

// The document in file ("-": standard input), or the exit status after reporting.
int ReadDocument(const tools::Reporter &out, const std::string &action, const std::string &file,
                 Json *doc) {
    std::string error;
    const auto text = engine::ReadDocumentText(file, &error);
    if (!text) return out.Rejected(action, error);
    std::vector<Problem> problems;
    auto parsed = engine::ParseDocument(*text, &problems);
    if (!parsed) return Problems(out, action, file, problems);
    *doc = std::move(*parsed);
    return -1;
}

// The server's state, or the exit status after reporting why it could not be read.
int ReadServer(const tools::Reporter &out, const std::string &action, ServerState *server) {
    *server = engine::ReadServer(tools::RecordDecoders());
    return out.Report(action, server->outcome);
}

// Reads the document and the server and checks the one against the other.
int Prepare(const tools::Reporter &out, const std::string &action, const std::string &file,
            Json *doc, ServerState *server) {
    if (int e = ReadDocument(out, action, file, doc); e >= 0) return e;
    if (int e = ReadServer(out, action, server); e >= 0) return e;
    const auto problems = engine::Check(*doc, *server);
    return problems.empty() ? -1 : Problems(out, action, file, problems);
}

int Export(const Tool &tool, const ConfigParams &p) {
    const auto out = tool.out();
    ServerState server;
    if (int e = ReadServer(out, "config export", &server); e >= 0) return e;
    const std::string text = server.doc.dump(2) + "\n";
    if (p.output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return tools::kExitOk;
    }
    // Written beside the target and renamed over it: a reader never sees half a document.
    const std::string temporary = p.output + ".tmp." + std::to_string(getpid());
    {
        std::ofstream f(temporary, std::ios::binary | std::ios::trunc);
        f << text;
        f.flush();
        if (!f) {
            std::remove(temporary.c_str());
            return out.Rejected("config export", "cannot write " + temporary);
        }
    }
    if (std::rename(temporary.c_str(), p.output.c_str()) != 0) {
        std::remove(temporary.c_str());
        return out.Rejected("config export", "cannot write " + p.output);
    }
    return out.Success(Versioned({{"ok", true}, {"action", "config export"}, {"output", p.output}}),
                       "Configuration written to " + p.output + ".");
}

int Diff(const Tool &tool, const ConfigParams &p) {
    const auto out = tool.out();
    Json doc;
    ServerState server;
    if (int e = Prepare(out, "config diff", p.file, &doc, &server); e >= 0) return e;
    const Plan plan = engine::MakePlan(doc, server, p.prune, true);
    if (out.json()) {
        PrintJson(Versioned({{"changes", ChangeList(plan, 0, plan.actions.size())},
                             {"warnings", ProblemList(plan.warnings)}}));
    } else {
        std::fputs(DiffText(plan).c_str(), stdout);
        std::fflush(stdout);
        std::fputs(WarningText(plan.warnings).c_str(), stderr);
    }
    return plan.actions.empty() ? tools::kExitOk : config::kExitDifferent;
}

}  // namespace

// Shared with `user-contexts list`.
int ReadUserContexts(const tools::Reporter &out, const std::string &action,
                     std::vector<std::string> *contexts) {
    return out.Report(action, engine::ReadUserContexts(contexts));
}

int config::RunApply(const tools::Reporter &out, const std::string &file, bool dryRun, bool prune,
                     bool force) {
    const ConfigParams p{file, "", dryRun, prune, force};
    const std::string action = "config apply";
    Json doc;
    ServerState server;
    if (int e = Prepare(out, action, p.file, &doc, &server); e >= 0) return e;
    const Plan plan = engine::MakePlan(doc, server, p.prune, p.force);
    if (!plan.blocked.empty()) return Problems(out, action, p.file, plan.blocked);
    const engine::ApplyResult result = p.dryRun ? engine::ApplyResult{} : engine::Apply(plan);
    tools::Failure failure;
    std::string failedAction;
    if (result.refused) {
        failure = tools::DescribeFailure(result.refused->outcome);
        failedAction = action + ": " + result.refused->command;
    }
    if (out.json()) {
        Json body = ApplyBody(plan, result, p.dryRun);
        body["warnings"] = ProblemList(plan.warnings);
        if (result.refused) {
            for (auto &c : body["failed"]) {
                c["message"] = failure.message;
                c.update(failure.extra);  // the server's status, where it refused
            }
            Json error = tools::Reporter::ErrorBody(failure.kind, failedAction, failure.message,
                                                    failure.code, failure.extra);
            error.update(body);
            body = error;
        }
        PrintJson(Versioned(body));
    } else {
        std::fputs(ApplyText(plan, result, p.dryRun, p.file).c_str(), stdout);
        std::fflush(stdout);
        std::fputs(WarningText(plan.warnings).c_str(), stderr);
    }
    if (!result.refused) return tools::kExitOk;
    std::fputs(
        out.RenderError(failure.kind, failedAction, failure.message, failure.code, failure.extra)
            .text.c_str(),
        stderr);
    std::fputs(NotAppliedText(plan, result).c_str(), stderr);
    return failure.code;
}

void RegisterConfig(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<ConfigParams>();
    CLI::App *cfg = app.add_subcommand(
        "config", "The whole configuration as one JSON document: export, diff, apply");
    cfg->require_subcommand(1);
    cfg->footer(
        "Exit status of config diff: 0 no differences, 1 invalid document, 3 unreachable, 4 "
        "differences found. config apply: 0 done (or nothing to do), 1 invalid document "
        "(nothing changed), 2 refused part-way (applied and not applied changes are listed), 3 "
        "unreachable.");

    Leaf(tool, cfg, "export", "Print the server's configuration as a JSON document", [&tool, p] {
        return Export(tool, *p);
    })->add_option("--output,-o", p->output, "Write it to FILE instead (replaced atomically)");

    CLI::App *diff = Leaf(tool, cfg, "diff", "Show what applying FILE would change (exit 4 if any)",
                          [&tool, p] { return Diff(tool, *p); });
    diff->add_option("FILE", p->file, "The document (- for standard input)")->required();
    diff->add_flag("--prune", p->prune, "Include removals of what FILE does not list");

    CLI::App *apply =
        Leaf(tool, cfg, "apply", "Make the server match FILE: checked first, then converged",
             [&tool, p] {
                 return config::RunApply(tool.out(), p->file, p->dryRun, p->prune, p->force);
             });
    apply->add_option("FILE", p->file, "The document (- for standard input)")->required();
    apply->add_flag("--dry-run", p->dryRun, "Check and show the changes, make none");
    apply->add_flag("--prune", p->prune,
                    "Remove shares, permanent invalid users, user contexts and set-option "
                    "entries that FILE does not list");
    apply->add_flag("--force", p->force,
                    "With --prune: remove shares that have connected clients too (they lose "
                    "the share and the files they hold open in it)");
}

}  // namespace share::shareadm
