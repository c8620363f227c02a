// SPDX-License-Identifier: Apache-2.0
// A server state as ReadServer reads it, for checking and planning without a server.
#pragma once

#include "client/config/config.h"
#include "output/plan_view.h"

namespace share::client::config::test {

inline Json ShareJson(const char *name, const char *volume, const char *path) {
    return {{"name", name},
            {"volume", volume},
            {"path", path},
            {"comment", ""},
            {"max_users", 0},
            {"encrypt_data", false},
            {"folder_redirection", false},
            {"atm_backup", false},
            {"mfa", false}};
}

// Three shares (home has clients), every option section, one permanent and one temporary
// invalid user, one user context.
inline ServerState Server() {
    ServerState s;
    s.doc = {{"schema_version", kSchemaVersion},
             {"shares",
              {ShareJson("home", "VOL1", "/home"), ShareJson("media", "VOL2", "/media"),
               ShareJson("projects", "VOL1", "/projects")}},
             {"options",
              {{"smb-signing", "YES"},
               {"oplock-break-ack-timeout", 10},
               {"cache", {{"sdircache", 100}, {"dircache", 200}, {"filecache", 300}}},
               {"dfs-referral-cache-duration", 5},
               {"share-volumes-by-default", {{"SRV1", "YES"}}},
               {"virtual-server", {{{"name", "alias1"}, {"address", "192.0.2.1"}}}},
               {"dns-entry", Json::array()},
               {"multichannel-interface", {"eth0"}}}},
             {"invalid_users", {{"timeout_minutes", 30}, {"permanent", {"baduser"}}}},
             {"user_contexts", {"ou=a,o=example"}}};
    s.volumes = {"VOL1", "VOL2", "_ADMIN"};
    s.clients = {{"HOME", 2}, {"MEDIA", 0}, {"PROJECTS", 0}};
    s.temporaryUsers = {"TEMPUSER"};
    return s;
}

}  // namespace share::client::config::test
