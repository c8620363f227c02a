// shareadm share ...: listing, details, creation, change, removal and the four share switches.
#include <cstdlib>
#include <cstring>

#include "shareadm/listings.h"
#include "shareadm/records.h"
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

int Add(const Tool &tool, const ShareParamsCli &p, bool commentGiven) {
    const auto out = tool.out();
    std::vector<Arg> args{
        {CMD_SHARE, {}}, {CIFS_ACT_ADD, {}}, {CIFS_OPT_NAME, p.name}, {CIFS_OPT_PATH, p.location}};
    AddSettings(args, p, commentGiven);
    Reply reply;
    if (int e = RunCommand(out, "share add", args, &reply); e >= 0) return e;
    return out.Success(Done("share add", p.name),
                       "Share " + p.name + " created on " + p.location + ".");
}

int Modify(const Tool &tool, const ShareParamsCli &p, bool commentGiven) {
    const auto out = tool.out();
    std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_MODIFY, {}}, {CIFS_OPT_NAME, p.name}};
    AddIf(args, CIFS_OPT_NEW_NAME, p.newName);
    AddIf(args, CIFS_OPT_PATH, p.location);
    AddSettings(args, p, commentGiven);
    if (args.size() == 3)
        return out.Rejected("share modify", "nothing to change: give at least one setting");
    Reply reply;
    if (int e = RunCommand(out, "share modify", args, &reply); e >= 0) return e;
    const std::string now = p.newName.empty() ? p.name : p.newName;
    return out.Success(Done("share modify", now), "Share " + now + " changed.");
}

int Remove(const Tool &tool, const ShareParamsCli &p) {
    const auto out = tool.out();
    std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_REMOVE, {}}, {CIFS_OPT_NAME, p.name}};
    AddIf(args, CIFS_OPT_SERVER, p.serverDn);
    Reply reply;
    if (int e = RunCommand(out, "share remove", args, &reply); e >= 0) return e;
    return out.Success(Done("share remove", p.name), "Share " + p.name + " removed.");
}

int Switch(const Tool &tool, const ShareParamsCli &p, int32_t action, const std::string &what) {
    const auto out = tool.out();
    Reply reply;
    const std::string act = "share " + what;
    if (int e = RunCommand(out, act, {{CMD_SHARE, {}}, {action, p.word}, {CIFS_OPT_NAME, p.name}},
                           &reply);
        e >= 0)
        return e;
    Json doc = Done(act, p.name);
    doc["value"] = p.word;
    return out.Success(doc, "Share " + p.name + ": " + what + " set to " + p.word + ".");
}

}  // namespace

int FetchShare(const tools::Reporter &out, const std::string &action, const std::string &name,
               Json *share) {
    Reply reply;
    if (int e = RunCommand(out, action,
                           {{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}}, &reply);
        e >= 0)
        return e;
    std::optional<Json> record;
    long clients = -1;
    for (const auto &el : reply.elements()) {
        if (el.type == CIFS_ELEM_SHARE_RECORD && el.payload.size() >= sizeof(ShareParams) &&
            !record) {
            ShareParams r;
            std::memcpy(&r, el.payload.data(), sizeof r);
            record = ShareRecordJson(r);
        } else if (el.type == CIFS_ELEM_SHARE_EXTRA) {
            const std::string text(el.payload.begin(),
                                   std::find(el.payload.begin(), el.payload.end(), 0));
            if (text.rfind("clients=", 0) == 0)
                tools::ParseNumber(text.substr(8), 0, 65535, &clients);
        }
    }
    if (!record) return out.Rejected(action, "the server sent no share record");
    if (clients >= 0) (*record)["clients"] = clients;
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
    Leaf(tool, share, "show", "Show one share or volume", [&tool, p] { return Show(tool, *p); })
        ->add_option("NAME", p->name, "Share or volume name")
        ->required();

    const char *words = "yes or no";
    auto settings = [&](CLI::App *cmd) {
        cmd->add_option("--encrypt-data", p->encrypt, std::string("Encrypt data: ") + words);
        cmd->add_option("--folder-redirection", p->redirect,
                        std::string("Folder redirection: ") + words);
        cmd->add_option("--atm-backup", p->atm, std::string("ATM backup: ") + words);
        cmd->add_option("--max-users", p->maxUsers,
                        "User limit (0: none; with modify, -1 lifts the limit)");
        cmd->add_option("--server-dn", p->serverDn, "Distinguished name of the server object");
    };

    CLI::App *add = Leaf(tool, share, "add", "Create a share of a directory of a volume", {});
    add->add_option("NAME", p->name, "Share name (up to 80 characters)")->required();
    add->add_option("LOCATION", p->location, "VOLUME:PATH, for example VOL1:/users/public")
        ->required();
    CLI::Option *addComment =
        add->add_option("--comment", p->comment, "Comment (up to 47 characters)");
    settings(add);
    add->callback([&tool, p, addComment] {
        tool.run = [&tool, p, addComment] { return Add(tool, *p, addComment->count() > 0); };
    });

    CLI::App *modify =
        Leaf(tool, share, "modify", "Change a share's name, location, comment or settings", {});
    modify->add_option("NAME", p->name, "Current share name")->required();
    modify->add_option("--new-name", p->newName, "Rename the share");
    modify->add_option("--path", p->location, "Move the share to VOLUME:PATH");
    CLI::Option *modComment = modify->add_option("--comment", p->comment, "New comment");
    settings(modify);
    modify->callback([&tool, p, modComment] {
        tool.run = [&tool, p, modComment] { return Modify(tool, *p, modComment->count() > 0); };
    });

    CLI::App *remove =
        Leaf(tool, share, "remove", "Remove a share", [&tool, p] { return Remove(tool, *p); });
    remove->add_option("NAME", p->name, "Share name")->required();
    remove->add_option("--server-dn", p->serverDn, "Distinguished name of the server object");

    struct SwitchRow {
        const char *name;
        int32_t action;
        const char *help;
    };
    static const SwitchRow switches[] = {
        {"encryption", CIFS_ACT_ENCRYPTION, "Switch a share's data encryption"},
        {"folder-redirection", CIFS_ACT_FOLDER_REDIRECTION, "Switch a share's folder redirection"},
        {"atm-backup", CIFS_ACT_ATM_BACKUP, "Switch a share's ATM backup"},
        {"mfa", CIFS_ACT_MFA, "Switch a share's multi-factor authentication level"},
    };
    for (const auto &s : switches) {
        CLI::App *cmd = Leaf(tool, share, s.name, s.help,
                             [&tool, p, &s] { return Switch(tool, *p, s.action, s.name); });
        cmd->add_option("NAME", p->name, "Share name")->required();
        cmd->add_option("VALUE", p->word, "yes or no")->required();
    }
}

}  // namespace share::shareadm
