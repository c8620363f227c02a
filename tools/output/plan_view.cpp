// SPDX-License-Identifier: Apache-2.0
#include "output/plan_view.h"

#include <algorithm>
#include <map>

#include "output/records.h"
#include "output/reporter.h"

namespace share::tools {
namespace {

using config::Action;
using config::ObjectKind;

// The JSON documents' word of each action, in the order of Action.
const char *KindWord(Action action) {
    static constexpr const char *kWords[] = {"add", "rename", "change", "remove"};
    return kWords[static_cast<size_t>(action)];
}

// "share home", "option smb-signing", "invalid-user x", "invalid-users" (the cache itself).
std::string Target(const config::PlannedAction &a) {
    switch (a.kind) {
        case ObjectKind::kShare:
            return "share " + a.name;
        case ObjectKind::kOption:
            return "option " + a.name;
        case ObjectKind::kInvalidUser:
            return a.name.empty() ? "invalid-users" : "invalid-user " + a.name;
        default:
            return "user-context " + a.name;
    }
}

template <class F>
void EachChange(const config::Plan &plan, size_t first, size_t last, F f) {
    for (size_t i = first; i < last && i < plan.actions.size(); ++i)
        for (const auto &field : plan.actions[i].fields) f(i, plan.actions[i], field);
}

}  // namespace

config::Decoders RecordDecoders() {
    return {
        static_cast<std::optional<Json> (*)(const std::vector<ReplyElement> &)>(ShareReplyJson)};
}

std::string ChangeLine(const config::PlannedAction &a, const config::FieldChange &c) {
    const std::string target = Target(a) + (c.field.empty() ? "" : " " + c.field);
    // A list entry is its name; a keyed entry shows its value, an object is shown whole.
    if (a.action == Action::kCreate) {
        if (!c.after.is_string()) return "+ " + target + " " + c.after.dump();
        return "+ " + target + (c.field.empty() || c.after == c.field ? "" : ": " + c.after.dump());
    }
    if (a.action == Action::kRemove) return "- " + target;
    return "~ " + target + ": " + c.before.dump() + " -> " + c.after.dump();
}

Json ChangeList(const config::Plan &plan, size_t first, size_t last) {
    Json list = Json::array();
    EachChange(plan, first, last, [&](size_t, const auto &a, const auto &c) {
        list.push_back(Json{{"kind", KindWord(a.action)},
                            {"target", Target(a)},
                            {"field", c.field.empty() ? Json() : Json(c.field)},
                            {"old", c.before},
                            {"new", c.after},
                            {"text", ChangeLine(a, c)}});
    });
    return list;
}

size_t ChangeCount(const config::Plan &plan, size_t first, size_t last) {
    size_t n = 0;
    EachChange(plan, first, last, [&](size_t, const auto &, const auto &) { ++n; });
    return n;
}

std::string DiffText(const config::Plan &plan) {
    // One object's lines together (a renamed share is one object under each of its names),
    // objects by kind, then by the name they end with.
    struct Group {
        ObjectKind kind;
        std::string name;
        std::string lines;
    };
    std::vector<Group> groups;
    std::map<std::pair<ObjectKind, std::string>, size_t> byName;
    for (const auto &a : plan.actions) {
        auto key = std::make_pair(a.kind, config::Upper(a.name));
        auto [it, fresh] = byName.try_emplace(key, groups.size());
        if (fresh) groups.push_back({a.kind, a.name, ""});
        Group &g = groups[it->second];
        for (const auto &c : a.fields) {
            g.lines += ChangeLine(a, c) + "\n";
            if (a.action != Action::kRename) continue;
            const size_t index = it->second;
            byName.erase(it);
            g.name = c.after.get<std::string>();
            it = byName.insert_or_assign({a.kind, config::Upper(g.name)}, index).first;
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group &x, const Group &y) {
        return std::make_pair(x.kind, config::Upper(x.name)) <
               std::make_pair(y.kind, config::Upper(y.name));
    });
    std::string text;
    for (const auto &g : groups) text += g.lines;
    return text.empty() ? "No differences.\n" : text;
}

std::string WarningText(const std::vector<config::Problem> &warnings) {
    std::string text;
    for (const auto &w : warnings) text += "warning: " + w.message + "\n";
    return text;
}

std::string ProblemMessage(const config::Problem &p) {
    if (!p.value) return p.message;
    const Json &v = *p.value;
    return (v.is_string() ? QuoteValue(v.get<std::string>()) : v.dump()) + " " + p.message;
}

Json ProblemList(const std::vector<config::Problem> &problems) {
    Json list = Json::array();
    for (const auto &p : problems)
        list.push_back({{"pointer", p.pointer}, {"message", ProblemMessage(p)}});
    return list;
}

Json ApplyBody(const config::Plan &plan, const config::ApplyResult &r, bool dryRun) {
    const size_t done = r.refused ? r.applied : dryRun ? plan.actions.size() : r.applied;
    const size_t failedEnd = r.refused ? done + 1 : done;
    return Json{{"changed", dryRun ? !plan.actions.empty() : done > 0},
                {"dry_run", dryRun},
                {"changes", ChangeList(plan, 0, done)},
                {"failed", ChangeList(plan, done, failedEnd)},
                {"not_applied", ChangeList(plan, failedEnd, plan.actions.size())}};
}

std::string ApplyText(const config::Plan &plan, const config::ApplyResult &r, bool dryRun,
                      const std::string &file) {
    const size_t done = r.refused || !dryRun ? r.applied : plan.actions.size();
    std::string text;
    EachChange(plan, 0, done,
               [&](size_t, const auto &a, const auto &c) { text += ChangeLine(a, c) + "\n"; });
    const size_t n = ChangeCount(plan, 0, done);
    if (plan.actions.empty())
        text += "No change: the server already matches " + file + ".\n";
    else if (!r.refused)
        text += std::to_string(n) + (n == 1 ? " change " : " changes ") +
                (dryRun ? "would apply" : "applied") + ".\n";
    return text;
}

std::string NotAppliedText(const config::Plan &plan, const config::ApplyResult &r) {
    const size_t n = ChangeCount(plan, 0, r.applied);
    std::string text =
        std::to_string(n) + (n == 1 ? " change" : " changes") + " applied; not applied:\n";
    EachChange(plan, r.applied, plan.actions.size(), [&](size_t i, const auto &a, const auto &c) {
        text += "  " + ChangeLine(a, c) +
                (r.refused && i == r.refused->action ? "  (refused)" : "") + "\n";
    });
    return text;
}

}  // namespace share::tools
