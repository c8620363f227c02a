// SPDX-License-Identifier: Apache-2.0
// The simulated population: realistic enough for a demo or a tool author, deterministic so that
// a demo tells the same story every time.
#include <algorithm>
#include <array>
#include <random>
#include <string>

#include "common/server_formats.h"
#include "sharesim/state.h"

namespace share::sim {
namespace {

constexpr std::array kUsers = {"alice", "bob",   "carol", "dave",   "erin",  "frank", "grace",
                               "heidi", "ivan",  "judy",  "ken",    "laura", "mike",  "nina",
                               "oscar", "peggy", "quinn", "rupert", "sybil", "trent"};
constexpr std::array kDepartments = {"staff", "engineering", "finance", "sales"};
constexpr std::array kFiles = {"budget-2024.xlsx", "minutes.docx", "design.pdf",  "notes.txt",
                               "build.log",        "data.csv",     "slides.pptx", "photo.jpg",
                               "contract.pdf",     "readme.md"};
constexpr std::array kDialects = {"SMB 3.1.1", "SMB 3.1.1", "SMB 3.0.2", "SMB 2.1"};
constexpr std::array kNets = {"192.0.2.", "198.51.100.", "203.0.113."};

struct SeedShare {
    const char *name;
    size_t volume;  // index among the non-administrative volumes
    const char *path;
    const char *comment;
};
constexpr SeedShare kShares[] = {
    {"public", 0, "/public", "Files for everyone"},
    {"projects", 0, "/projects", "Project workspaces"},
    {"home", 1, "/home", "Home directories"},
};

}  // namespace

void SeedPopulation(State &st, unsigned clients, uint32_t seed, int64_t now) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };

    std::vector<std::string> volumes;
    for (const auto &v : st.volumes)
        if (!v.admin) volumes.push_back(v.name);
    if (volumes.empty()) return;

    for (const auto &s : kShares) {
        if (st.FindShare(s.name) || st.FindVolume(s.name)) continue;
        Share share;
        share.id = st.nextShareId++;
        share.name = s.name;
        share.volume = volumes[s.volume % volumes.size()];
        share.path = s.path;
        share.comment = s.comment;
        share.createdAt = now - 86400 * 30;
        st.shares.push_back(share);
    }

    const int64_t anHour = 3600;
    uint16_t nextId =
        st.connections.empty() ? 1 : static_cast<uint16_t>(st.connections.back().id + 1);
    for (unsigned i = 0; i < clients && nextId != 0; ++i, ++nextId) {
        Connection c;
        c.id = nextId;
        const bool nullSession = pick(8) == 0;
        const char *user = kUsers[pick(kUsers.size())];
        const char *dept = kDepartments[pick(kDepartments.size())];
        c.workstation = "WS-" + std::to_string(1000 + c.id);
        c.address = std::string(kNets[pick(kNets.size())]) + std::to_string(10 + pick(240));
        c.dialect = kDialects[pick(kDialects.size())];
        // A third of the connections have been idle for a long time: material for clearing.
        const int64_t idle = pick(3) == 0 ? 20 * 60 + pick(3 * anHour) : pick(10 * 60);
        c.lastActivity = now - idle;
        c.loginAt = c.lastActivity - pick(8 * anHour) - 60;
        if (nullSession) {
            c.flags = tools::kConnFlagNullSession;
            c.auth = "Anonymous";
            st.connections.push_back(std::move(c));
            continue;
        }
        c.flags = tools::kConnFlagSigned | (pick(2) ? tools::kConnFlagEncrypted : 0);
        c.user = std::string("cn=") + user + ",ou=" + dept + ",o=example";
        c.auth = pick(3) == 0 ? "NTLMv2" : "Kerberos";
        c.bytesRead = static_cast<uint64_t>(pick(1u << 30)) * 4;
        c.bytesWritten = static_cast<uint64_t>(pick(1u << 28)) * 4;
        c.secEquiv.push_back(std::string("cn=") + dept + ",ou=groups,o=example");
        c.secEquiv.push_back("cn=everyone,ou=groups,o=example");
        if (pick(5) == 0) c.secEquiv.push_back("cn=admins,ou=groups,o=example");

        // Mapped shares: one to three of the seeded shares, sometimes a whole volume as well.
        std::vector<const Share *> mapped;
        for (const auto &s : st.shares)
            if (mapped.empty() || pick(2) == 0) mapped.push_back(&s);
        for (const Share *s : mapped) c.mapped.push_back(s->name);
        if (pick(6) == 0) c.mapped.push_back(volumes.back());

        const uint32_t files = pick(5);
        for (uint32_t f = 0; f < files; ++f) {
            const Share *s = mapped[pick(static_cast<uint32_t>(mapped.size()))];
            OpenFile of;
            of.id = st.nextFileId++;
            of.volume = s->volume;
            const std::string dir = s->path == "/" ? "" : s->path;
            of.path = dir + "/" + user + "/" + kFiles[pick(kFiles.size())];
            of.access =
                pick(3) == 0 ? (tools::kAccessRead | tools::kAccessWrite) : tools::kAccessRead;
            of.openedAt = std::max(c.loginAt, c.lastActivity - static_cast<int64_t>(pick(anHour)));
            const bool duplicate = std::any_of(
                c.files.begin(), c.files.end(),
                [&](const OpenFile &o) { return o.volume == of.volume && o.path == of.path; });
            if (!duplicate) c.files.push_back(std::move(of));
        }
        st.connections.push_back(std::move(c));
    }

    auto addUser = [&](const char *name, bool permanent, uint32_t logons, int64_t age) {
        for (const auto &u : st.invalidUsers)
            if (IEquals(u.name, name)) return;
        st.invalidUsers.push_back({name, permanent, logons, now - age});
    };
    addUser("guest", true, 12, 86400 * 7);
    addUser("olduser", false, 3, 60 * 5);
    addUser("tempuser", false, 5, 60 * 2);
    for (const char *ctx : {"ou=staff,o=example", "ou=contractors,o=example"})
        if (std::none_of(st.userContexts.begin(), st.userContexts.end(),
                         [&](const std::string &u) { return IEquals(u, ctx); }))
            st.userContexts.push_back(ctx);
}

}  // namespace share::sim
