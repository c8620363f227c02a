// SPDX-License-Identifier: Apache-2.0
#include "sharemon/web_config.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>

namespace share::sharemon {
namespace {

const std::map<std::string, ClientAuth> kClientAuth = {
    {"NoClientCert", ClientAuth::None},
    {"RequestClientCert", ClientAuth::Request},
    {"RequireAnyClientCert", ClientAuth::RequireAny},
    {"VerifyClientCertIfGiven", ClientAuth::VerifyIfGiven},
    {"RequireAndVerifyClientCert", ClientAuth::RequireAndVerify},
};

struct Reader {
    std::string file;
    std::string *error;

    bool Fail(const std::string &what) {
        *error = file + ": " + what;
        return false;
    }
    // Only known keys: a misspelt key would otherwise leave TLS or authentication off.
    bool Keys(const YAML::Node &map, const std::string &where, const std::set<std::string> &known) {
        if (!map.IsMap()) return Fail(where + " is not a mapping");
        for (const auto &entry : map) {
            const std::string key = entry.first.as<std::string>();
            if (!known.count(key))
                return Fail("unknown key \"" + key + "\"" + (where.empty() ? "" : " in " + where));
        }
        return true;
    }
    bool Text(const YAML::Node &map, const char *key, std::string *out) {
        const YAML::Node node = map[key];
        if (!node || node.IsNull()) return true;
        if (!node.IsScalar()) return Fail(std::string(key) + " is not a string");
        *out = node.as<std::string>();
        return true;
    }
    // Relative paths are the file's neighbours, wherever the exporter was started.
    std::string Resolve(const std::string &path) const {
        if (path.empty() || path.front() == '/') return path;
        const auto slash = file.rfind('/');
        return slash == std::string::npos ? path : file.substr(0, slash + 1) + path;
    }
};

}  // namespace

// $2a$, $2b$ or $2y$, a cost of 04 to 31, then 53 characters of bcrypt's base-64 alphabet.
bool IsBcryptHash(const std::string &hash) {
    constexpr size_t kLength = 7 + 53;
    if (hash.size() != kLength || hash.compare(0, 2, "$2") != 0 || hash[3] != '$' ||
        hash[6] != '$' || std::string_view("aby").find(hash[2]) == std::string_view::npos)
        return false;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(hash[4]) || !digit(hash[5])) return false;
    const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
    if (cost < 4 || cost > 31) return false;
    return std::all_of(hash.begin() + 7, hash.end(), [&](char c) {
        return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '/';
    });
}

bool PasswordMatches(const std::string &password, const std::string &hash) {
    if (!IsBcryptHash(hash) || password.find('\0') != std::string::npos) return false;
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const char *got = crypt_r(password.c_str(), hash.c_str(), data.get());
    if (!got || std::strlen(got) != hash.size()) return false;
    return CRYPTO_memcmp(got, hash.data(), hash.size()) == 0;
}

bool LoadWebConfig(const std::string &path, WebConfig *config, std::string *error) {
    Reader r{path, error};
    std::ifstream in(path);
    if (!in) return r.Fail(std::string("cannot read: ") + std::strerror(errno));
    std::stringstream text;
    text << in.rdbuf();
    YAML::Node root;
    try {
        root = YAML::Load(text.str());
    } catch (const YAML::Exception &e) {
        return r.Fail("not YAML: " + e.msg + " (line " + std::to_string(e.mark.line + 1) + ")");
    }
    WebConfig c;
    if (root.IsNull()) {
        *config = c;
        return true;
    }
    try {
        if (!r.Keys(root, "", {"tls_server_config", "basic_auth_users"})) return false;
        if (const YAML::Node tls = root["tls_server_config"]; tls && !tls.IsNull()) {
            if (!r.Keys(
                    tls, "tls_server_config",
                    {"cert_file", "key_file", "client_ca_file", "client_auth_type", "min_version"}))
                return false;
            std::string auth;
            if (!r.Text(tls, "cert_file", &c.certFile) || !r.Text(tls, "key_file", &c.keyFile) ||
                !r.Text(tls, "client_ca_file", &c.clientCaFile) ||
                !r.Text(tls, "client_auth_type", &auth) ||
                !r.Text(tls, "min_version", &c.minVersion))
                return false;
            if (c.certFile.empty() || c.keyFile.empty())
                return r.Fail("tls_server_config needs both cert_file and key_file");
            if (!auth.empty()) {
                const auto it = kClientAuth.find(auth);
                if (it == kClientAuth.end())
                    return r.Fail("client_auth_type \"" + auth +
                                  "\" is not one of NoClientCert, "
                                  "RequestClientCert, RequireAnyClientCert, "
                                  "VerifyClientCertIfGiven, RequireAndVerifyClientCert");
                c.clientAuth = it->second;
            }
            const bool verifies = c.clientAuth == ClientAuth::VerifyIfGiven ||
                                  c.clientAuth == ClientAuth::RequireAndVerify;
            if (verifies && c.clientCaFile.empty())
                return r.Fail("client_auth_type " + auth + " needs client_ca_file");
            if (!c.minVersion.empty() && c.minVersion != "TLS12" && c.minVersion != "TLS13")
                return r.Fail("min_version \"" + c.minVersion + "\" is not TLS12 or TLS13");
            c.certFile = r.Resolve(c.certFile);
            c.keyFile = r.Resolve(c.keyFile);
            c.clientCaFile = r.Resolve(c.clientCaFile);
        }
        if (const YAML::Node users = root["basic_auth_users"]; users && !users.IsNull()) {
            if (!users.IsMap()) return r.Fail("basic_auth_users is not a mapping");
            for (const auto &entry : users) {
                const std::string name = entry.first.as<std::string>();
                const std::string hash =
                    entry.second.IsScalar() ? entry.second.as<std::string>() : std::string();
                if (name.empty() || name.find(':') != std::string::npos)
                    return r.Fail("user name \"" + name + "\" is empty or has a colon");
                if (!IsBcryptHash(hash))
                    return r.Fail("the password of user \"" + name + "\" is not a bcrypt hash");
                c.users[name] = hash;
            }
        }
    } catch (const YAML::Exception &e) {
        return r.Fail("unexpected value: " + e.msg);
    }
    *config = c;
    return true;
}

}  // namespace share::sharemon
