// SPDX-License-Identifier: Apache-2.0
// shareadm config export / diff / apply.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "shareadm/config.h"
#include "shareadm/tool.h"

namespace share::shareadm {
namespace {

using config::Change;
using config::Plan;
using config::Problem;
using config::ServerState;

struct ConfigParams {
    std::string file;
    std::string output;
    bool dryRun = false, prune = false, force = false;
};

Json Versioned(Json body) {
    Json doc{{"schema_version", config::kSchemaVersion}};
    doc.update(body);
    return doc;
}

void PrintJson(const Json &doc) {
    std::printf("%s\n", doc.dump(2).c_str());
    std::fflush(stdout);
}

// Nothing was changed: every problem, with its pointer.
int Problems(const tools::Reporter &out, const std::string &action, const std::string &file,
             const std::vector<Problem> &problems) {
    const std::string message = std::to_string(problems.size()) +
                                (problems.size() == 1 ? " problem" : " problems") + " in " + file +
                                "; nothing was changed";
    std::fprintf(stderr, "shareadm: %s: %s\n", action.c_str(), message.c_str());
    Json list = Json::array();
    for (const auto &p : problems) {
        std::fprintf(stderr, "  %s: %s\n", p.pointer.empty() ? "(document)" : p.pointer.c_str(),
                     p.message.c_str());
        list.push_back({{"pointer", p.pointer}, {"message", p.message}});
    }
    if (out.json())
        PrintJson(Versioned(tools::Reporter::ErrorBody(
            "rejected", action, message, tools::kExitRejected, {{"problems", list}})));
    return tools::kExitRejected;
}

// The document in file ("-": standard input), or the exit status after reporting.
int ReadDocument(const tools::Reporter &out, const std::string &action, const std::string &file,
                 Json *doc) {
    std::stringstream text;
    if (file == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) return out.Rejected(action, "cannot read " + file);
        text << in.rdbuf();
    }
    try {
        *doc = Json::parse(text.str());
    } catch (const Json::parse_error &e) {
        return Problems(out, action, file, {{"", std::string("not JSON: ") + e.what()}});
    }
    return -1;
}

// Reads the document and the server and checks the one against the other.
int Prepare(const tools::Reporter &out, const std::string &action, const std::string &file,
            Json *doc, ServerState *server) {
    if (int e = ReadDocument(out, action, file, doc); e >= 0) return e;
    if (int e = config::ReadServer(out, action, server); e >= 0) return e;
    const auto problems = config::Check(*doc, *server);
    return problems.empty() ? -1 : Problems(out, action, file, problems);
}

Json ChangeList(const std::vector<Change> &changes, size_t first, size_t last) {
    Json list = Json::array();
    for (size_t i = first; i < last; ++i) list.push_back(config::ChangeJson(changes[i]));
    return list;
}

int Export(const Tool &tool, const ConfigParams &p) {
    const auto out = tool.out();
    ServerState server;
    if (int e = config::ReadServer(out, "config export", &server); e >= 0) return e;
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
    const Plan plan = config::MakePlan(doc, server, p.prune, true);
    if (out.json()) {
        PrintJson(Versioned({{"changes", ChangeList(plan.changes, 0, plan.changes.size())}}));
    } else {
        for (const auto &c : plan.changes) std::printf("%s\n", config::ChangeLine(c).c_str());
        if (plan.changes.empty()) std::printf("No differences.\n");
    }
    return plan.changes.empty() ? tools::kExitOk : config::kExitDifferent;
}

}  // namespace

int config::RunApply(const tools::Reporter &out, const std::string &file, bool dryRun, bool prune,
                     bool force) {
    const ConfigParams p{file, "", dryRun, prune, force};
    const std::string action = "config apply";
    Json doc;
    ServerState server;
    if (int e = Prepare(out, action, p.file, &doc, &server); e >= 0) return e;
    const Plan plan = config::MakePlan(doc, server, p.prune, p.force);
    if (!plan.blocked.empty()) return Problems(out, action, p.file, plan.blocked);

    size_t done = plan.changes.size();  // changes before the failed step's
    std::optional<size_t> failedStep;
    tools::Failure failure;
    std::string failedAction;
    if (!p.dryRun)
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            const auto &step = plan.steps[i];
            Reply reply;
            const Outcome o = Execute(step.args, &reply);
            if (o.done()) continue;
            failedStep = i;
            done = step.first;
            failure = tools::DescribeFailure(o);
            failedAction = action + ": " + step.action;
            break;
        }
    const size_t failedEnd = failedStep ? plan.steps[*failedStep].last : done;
    const bool changed = !p.dryRun && done > 0;

    if (out.json()) {
        Json body{{"changed", p.dryRun ? !plan.changes.empty() : changed},
                  {"dry_run", p.dryRun},
                  {"changes", ChangeList(plan.changes, 0, done)},
                  {"failed", ChangeList(plan.changes, done, failedEnd)},
                  {"not_applied", ChangeList(plan.changes, failedEnd, plan.changes.size())}};
        if (failedStep) {
            for (auto &c : body["failed"]) c["message"] = failure.message;
            Json error = tools::Reporter::ErrorBody(failure.kind, failedAction, failure.message,
                                                    failure.code, failure.extra);
            error.update(body);
            body = error;
        }
        PrintJson(Versioned(body));
    } else {
        const char *verb = p.dryRun ? "would apply" : "applied";
        for (size_t i = 0; i < done; ++i)
            std::printf("%s\n", config::ChangeLine(plan.changes[i]).c_str());
        if (plan.changes.empty())
            std::printf("No change: the server already matches %s.\n", p.file.c_str());
        else if (!failedStep)
            std::printf("%zu change%s %s.\n", done, done == 1 ? "" : "s", verb);
    }
    if (!failedStep) return tools::kExitOk;
    std::fputs(
        out.RenderError(failure.kind, failedAction, failure.message, failure.code, failure.extra)
            .text.c_str(),
        stderr);
    std::fprintf(stderr, "%zu change%s applied; not applied:\n", done, done == 1 ? "" : "s");
    for (size_t i = done; i < plan.changes.size(); ++i)
        std::fprintf(stderr, "  %s%s\n", config::ChangeLine(plan.changes[i]).c_str(),
                     i < failedEnd ? "  (refused)" : "");
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
