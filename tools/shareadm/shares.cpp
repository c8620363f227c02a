// SPDX-License-Identifier: Apache-2.0
// shareadm share ...: listing, details, creation, change, removal and the four share switches.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "output/listings.h"
#include "output/records.h"
#include "shareadm/tool.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::shareadm {
namespace {

struct ShareParamsCli {
    std::string name;
    std::string location;  // VOLUME:PATH
    std::string newName;
    std::string comment;
    std::string encrypt, redirect, atm;
    std::string maxUsers;
    std::string serverDn;
    std::string word;
    CLI::Option *addComment = nullptr, *modComment = nullptr;  // given even when empty
};

Json Done(const std::string &action, const std::string &share) {
    return Json{{"ok", true}, {"action", action}, {"share", share}};
}

int List(const Tool &tool) {
    const auto out = tool.out();
    ShareInfoList *list = nullptr;
    if (int e = Call(out, "share list", [&] { return CIFSLIB_ListAllShares(&list); }); e >= 0)
        return e;
    return ListShares(out, "share list", list, false);
}

int Names(const Tool &tool) {
    const auto out = tool.out();
    ShareNameList *list = nullptr;
    if (int e = Call(out, "share names", [&] { return CIFSLIB_GetShareNames(&list); }); e >= 0)
        return e;
    Json names = Json::array();
    for (uint32_t i = 0; list && i < list->count; ++i)
        names.push_back(tools::FieldString(list->names[i], SHARE_NAME_SLOT_SIZE));
    std::free(list);
    return out.List(kShareNameListing, names);
}

int Show(const Tool &tool, const ShareParamsCli &p) {
    const auto out = tool.out();
    Json share;
    if (int e = FetchShare(out, "share show", p.name, &share); e >= 0) return e;
    return out.Success(share, ShareDetails(share));
}

// The confirmation of a change: what the server stored, read back.
int Confirm(const tools::Reporter &out, const std::string &action, const std::string &name,
            const std::string &headline) {
    Json share;
    if (int e = FetchShare(out, action, name, &share); e >= 0) return e;
    Json doc = Done(action, share["name"].get<std::string>());
    doc["stored"] = share;
    return out.Success(doc, headline + " The server stored:\n" + ShareDetails(share));
}

void AddIf(std::vector<Arg> &args, int32_t code, const std::string &value) {
    if (!value.empty()) args.push_back({code, value});
}

// What add and modify both take after the name and location, in this order.
void AddSettings(std::vector<Arg> &args, const ShareParamsCli &p, bool commentGiven) {
    if (commentGiven) args.push_back({CIFS_OPT_COMMENT, p.comment});
    AddIf(args, CIFS_OPT_ENCRYPT_DATA, p.encrypt);
    AddIf(args, CIFS_OPT_FOLDER_REDIRECTION, p.redirect);
    AddIf(args, CIFS_OPT_ATM_BACKUP, p.atm);
    AddIf(args, CIFS_OPT_NUMBER, p.maxUsers);
    AddIf(args, CIFS_OPT_SERVER, p.serverDn);
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// A share name servers commonly refuse: reserved characters, edge spaces, control characters.
bool OddName(std::string_view name) {
    return name.find_first_of("\\/:*?\"<>|") != std::string_view::npos || name.front() == ' ' ||
           name.back() == ' ' || HasControl(name);
}

// A location whose path is not an absolute path of plain components.
bool OddLocation(std::string_view location) {
    const std::string_view path = location.substr(location.find(':') + 1);
    if (!path.empty() && path.front() != '/') return true;
    if (path.find('\\') != std::string_view::npos || HasControl(path)) return true;
    size_t at = 0;
    while (at <= path.size()) {
        const size_t next = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, next - at);
        if (part == "." || part == "..") return true;
        at = next + 1;
    }
    return false;
}

// What each server status of add and modify can be traced to.
Blames ShareBlames(const ShareParamsCli &p, const std::string &nameArg, const std::string &name,
                   const std::string &locationArg, bool commentGiven) {
    Blames b;
    if (!name.empty()) {
        b.push_back({tools::kNameTaken, nameArg, "the share name", name});
        b.push_back({tools::kInvalidValue, nameArg, "the share name", name, OddName(name)});
    }
    if (!p.location.empty()) {
        b.push_back({tools::kNoSuchVolume, locationArg, "the location", p.location});
        b.push_back({tools::kNotPermitted, locationArg, "the location", p.location});
        b.push_back({tools::kInvalidValue, locationArg, "the location", p.location,
                     OddLocation(p.location)});
    }
    if (commentGiven)
        b.push_back(
            {tools::kInvalidValue, "--comment", "the comment", p.comment, HasControl(p.comment)});
    return b;
}

int Add(const Tool &tool, const ShareParamsCli &p, bool commentGiven) {
    const auto out = tool.out();
    std::vector<Arg> args{
        {CMD_SHARE, {}}, {CIFS_ACT_ADD, {}}, {CIFS_OPT_NAME, p.name}, {CIFS_OPT_PATH, p.location}};
    AddSettings(args, p, commentGiven);
    Reply reply;
    if (int e = RunCommand(out, "share add", args, &reply,
                           ShareBlames(p, "NAME", p.name, "LOCATION", commentGiven));
        e >= 0)
        return e;
    return Confirm(out, "share add", p.name, "Share " + p.name + " created.");
}

int Modify(const Tool &tool, const ShareParamsCli &p, bool commentGiven) {
    const auto out = tool.out();
    std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_MODIFY, {}}, {CIFS_OPT_NAME, p.name}};
    AddIf(args, CIFS_OPT_NEW_NAME, p.newName);
    AddIf(args, CIFS_OPT_PATH, p.location);
    // The server reads 0 as "keep the limit" in a change: 0 means no limit here as in add.
    ShareParamsCli settings = p;
    if (settings.maxUsers == "0") settings.maxUsers = "-1";
    AddSettings(args, settings, commentGiven);
    if (args.size() == 3)
        return out.Rejected("share modify", "nothing to change: give at least one setting");
    Blames blames = ShareBlames(p, "--new-name", p.newName, "--path", commentGiven);
    blames.push_back({tools::kNoSuchShare, "NAME", "the share name", p.name});
    blames.push_back({tools::kNotPermitted, "NAME", "the share name", p.name});
    Reply reply;
    if (int e = RunCommand(out, "share modify", args, &reply, blames); e >= 0) return e;
    const std::string now = p.newName.empty() ? p.name : p.newName;
    return Confirm(out, "share modify", now, "Share " + now + " changed.");
}

int Remove(const Tool &tool, const ShareParamsCli &p) {
    const auto out = tool.out();
    std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_REMOVE, {}}, {CIFS_OPT_NAME, p.name}};
    AddIf(args, CIFS_OPT_SERVER, p.serverDn);
    Reply reply;
    const Blames blames{{tools::kNoSuchShare, "NAME", "the share name", p.name},
                        {tools::kNotPermitted, "NAME", "the share name", p.name}};
    if (int e = RunCommand(out, "share remove", args, &reply, blames); e >= 0) return e;
    return out.Success(Done("share remove", p.name), "Share " + p.name + " removed.");
}

// The stored field of each switch in the share record's JSON.
struct SwitchRow {
    const char *name;
    int32_t action;
    const char *field;
    const char *help;
};
constexpr SwitchRow kSwitches[] = {
    {"encryption", CIFS_ACT_ENCRYPTION, "encrypt_data", "Switch a share's data encryption"},
    {"folder-redirection", CIFS_ACT_FOLDER_REDIRECTION, "folder_redirection",
     "Switch a share's folder redirection"},
    {"atm-backup", CIFS_ACT_ATM_BACKUP, "atm_backup", "Switch a share's ATM backup"},
    {"mfa", CIFS_ACT_MFA, "mfa", "Switch a share's multi-factor authentication level"},
};

int Switch(const Tool &tool, const ShareParamsCli &p, const SwitchRow &s) {
    const auto out = tool.out();
    Reply reply;
    const std::string act = std::string("share ") + s.name;
    const Blames blames{{tools::kNoSuchShare, "NAME", "the share name", p.name},
                        {tools::kNotPermitted, "NAME", "the share name", p.name}};
    if (int e = RunCommand(out, act, {{CMD_SHARE, {}}, {s.action, p.word}, {CIFS_OPT_NAME, p.name}},
                           &reply, blames);
        e >= 0)
        return e;
    Json share;
    if (int e = FetchShare(out, act, p.name, &share); e >= 0) return e;
    const bool on = share[s.field].get<bool>();
    Json doc = Done(act, share["name"].get<std::string>());
    doc["value"] = on ? "YES" : "NO";
    doc["stored"] = share;
    return out.Success(doc, "Share " + share["name"].get<std::string>() + ": " + s.name +
                                " is now " + (on ? "YES" : "NO") + ".");
}

}  // namespace

int FetchShare(const tools::Reporter &out, const std::string &action, const std::string &name,
               Json *share) {
    Reply reply;
    const Blames blames{{tools::kNoSuchShare, "NAME", "the share name", name}};
    if (int e =
            RunCommand(out, action, {{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}},
                       &reply, blames);
        e >= 0)
        return e;
    std::optional<Json> record = ShareReplyJson(reply.elements());
    if (!record) return out.Rejected(action, "the server sent no share record");
    *share = std::move(*record);
    return -1;
}

int ListShares(const tools::Reporter &out, const std::string &action, ShareInfoList *list,
               bool withOpenFiles) {
    // The library's records lack the MFA level and the client count: the share's own record
    // has them, so that a listed share is the same object as a shown one.
    Json shares = Json::array();
    int status = -1;
    for (uint32_t i = 0; list && i < list->count; ++i) {
        ShareInfo *info = list->entries[i];
        Json share = ShareInfoJson(*info, withOpenFiles);
        std::free(info);
        Json record;
        if (status < 0) status = FetchShare(out, action, share["name"], &record);
        if (status >= 0) continue;
        for (const char *key : {"mfa", "clients"})
            if (record.contains(key)) share[key] = record[key];
        shares.push_back(std::move(share));
    }
    std::free(list);
    if (status >= 0) return status;
    return out.List(withOpenFiles ? kMappedShareListing : kShareListing, std::move(shares));
}

void RegisterShares(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<ShareParamsCli>();
    CLI::App *share =
        app.add_subcommand("share", "Shares: list, show, add, modify, remove and switches");
    share->require_subcommand(1);

    tools::AddListingOptions(
        Leaf(tool, share, "list", "List every share and volume with its settings",
             [&tool] { return List(tool); }),
        tool.output, kShareListing);
    tools::AddListingOptions(Leaf(tool, share, "names", "List the names of all shares and volumes",
                                  [&tool] { return Names(tool); }),
                             tool.output, kShareNameListing);
    auto name = [&](CLI::App *cmd, const char *help) {
        tools::Checked(cmd->add_option("NAME", p->name, help)->required(), "share-name");
    };
    name(Leaf(tool, share, "show", "Show one share or volume",
              [&tool, p] { return Show(tool, *p); }),
         "Share or volume name");

    auto settings = [&](CLI::App *cmd, const char *maxUsersRule, const char *maxUsersHelp) {
        tools::Checked(cmd->add_option("--encrypt-data", p->encrypt, "Encrypt data"), "yes-no");
        tools::Checked(cmd->add_option("--folder-redirection", p->redirect, "Folder redirection"),
                       "yes-no");
        tools::Checked(cmd->add_option("--atm-backup", p->atm, "ATM backup"), "yes-no");
        tools::Checked(cmd->add_option("--max-users", p->maxUsers, maxUsersHelp), maxUsersRule);
        tools::Checked(
            cmd->add_option("--server-dn", p->serverDn, "Distinguished name of the server object"),
            "server-dn");
    };

    CLI::App *add = Leaf(tool, share, "add", "Create a share of a directory of a volume",
                         [&tool, p] { return Add(tool, *p, p->addComment->count() > 0); });
    name(add, "Share name");
    tools::Checked(
        add->add_option("LOCATION", p->location, "The directory, for example VOL1:/users/public")
            ->required(),
        "location");
    p->addComment = tools::Checked(add->add_option("--comment", p->comment, "Comment"), "comment");
    settings(add, "max-users", "User limit (0: none)");

    CLI::App *modify =
        Leaf(tool, share, "modify", "Change a share's name, location, comment or settings",
             [&tool, p] { return Modify(tool, *p, p->modComment->count() > 0); });
    name(modify, "Current share name");
    tools::Checked(modify->add_option("--new-name", p->newName, "Rename the share"), "share-name");
    tools::Checked(modify->add_option("--path", p->location, "Move the share to VOLUME:PATH"),
                   "location");
    p->modComment =
        tools::Checked(modify->add_option("--comment", p->comment, "New comment"), "comment");
    settings(modify, "max-users-change", "User limit (0 or -1: none)");

    CLI::App *remove =
        Leaf(tool, share, "remove", "Remove a share", [&tool, p] { return Remove(tool, *p); });
    name(remove, "Share name");
    tools::Checked(
        remove->add_option("--server-dn", p->serverDn, "Distinguished name of the server object"),
        "server-dn");

    for (const auto &s : kSwitches) {
        CLI::App *cmd =
            Leaf(tool, share, s.name, s.help, [&tool, p, &s] { return Switch(tool, *p, s); });
        name(cmd, "Share name");
        tools::Checked(cmd->add_option("VALUE", p->word, "YES or NO")->required(), "yes-no");
    }
}

}  // namespace share::shareadm
