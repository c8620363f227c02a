// SPDX-License-Identifier: Apache-2.0
// The web configuration file: what is accepted, what is refused with the bad value named, and
// bcrypt hashes of every prefix checked by the system's crypt.
#include "sharemon/web_config.h"

#include <crypt.h>
#include <gtest/gtest.h>

#include <string>

#include "tools/process.h"

namespace share::exporter::test {
namespace {

using sharemon::WebConfig;
using tools::test::TempDir;
using tools::test::WriteFile;

// A bcrypt hash of password with the given prefix ($2a$, $2b$, $2y$), at the lowest cost.
std::string Bcrypt(const std::string &prefix, const std::string &password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    EXPECT_NE(crypt_gensalt_rn("$2b$", 4, nullptr, 0, salt, sizeof salt), nullptr);
    const std::string withPrefix = prefix + (salt + 4);
    crypt_data data{};
    const char *hash = crypt_r(password.c_str(), withPrefix.c_str(), &data);
    return hash ? hash : "";
}

TEST(ExporterWebConfig, AcceptsGoodFilesAndNamesTheBadValue) {
    TempDir dir;
    const std::string hash = Bcrypt("$2y$", "pw");
    const struct {
        const char *name;
        std::string yaml;
        const char *error;  // nullptr: accepted
    } cases[] = {
        {"empty", "", nullptr},
        {"users only", "basic_auth_users:\n  prom: '" + hash + "'\n", nullptr},
        {"tls", "tls_server_config:\n  cert_file: c.pem\n  key_file: /k.pem\n", nullptr},
        {"client certs",
         "tls_server_config: {cert_file: c, key_file: k, client_ca_file: ca,\n"
         "  client_auth_type: RequireAndVerifyClientCert, min_version: TLS13}\n",
         nullptr},
        {"bad yaml", "tls_server_config: [\n", "not YAML"},
        {"unknown top key", "basic_auth_user: {}\n", "\"basic_auth_user\""},
        {"unknown tls key", "tls_server_config: {cert_file: c, key_file: k, ciphers: x}\n",
         "\"ciphers\""},
        {"cert without key", "tls_server_config: {cert_file: c}\n", "key_file"},
        {"bad auth type", "tls_server_config: {cert_file: c, key_file: k, client_auth_type: Yes}\n",
         "\"Yes\""},
        {"verify without ca",
         "tls_server_config: {cert_file: c, key_file: k, client_auth_type: "
         "VerifyClientCertIfGiven}\n",
         "client_ca_file"},
        {"bad version", "tls_server_config: {cert_file: c, key_file: k, min_version: TLS10}\n",
         "\"TLS10\""},
        {"plain password", "basic_auth_users: {prom: secret}\n", "user \"prom\""},
        {"md5 crypt", "basic_auth_users: {prom: '$1$abc$0123456789012345678901'}\n", "bcrypt"},
        {"cut hash", "basic_auth_users: {prom: '" + hash.substr(0, 40) + "'}\n", "bcrypt"},
        {"users as list", "basic_auth_users: [prom]\n", "mapping"},
        {"colon in name", "basic_auth_users: {'a:b': '" + hash + "'}\n", "colon"},
        {"top-level list", "- a\n", "mapping"},
    };
    for (const auto &c : cases) {
        const std::string path = dir.File("web.yml");
        WriteFile(path, c.yaml);
        WebConfig config;
        std::string error;
        const bool ok = sharemon::LoadWebConfig(path, &config, &error);
        EXPECT_EQ(ok, c.error == nullptr) << c.name << ": " << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
            EXPECT_NE(error.find(path), std::string::npos) << c.name << ": " << error;
        }
    }
    WebConfig config;
    std::string error;
    EXPECT_FALSE(sharemon::LoadWebConfig(dir.File("missing.yml"), &config, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    // Relative certificate paths are the file's neighbours.
    WriteFile(dir.File("web.yml"), "tls_server_config: {cert_file: c.pem, key_file: /k.pem}\n");
    ASSERT_TRUE(sharemon::LoadWebConfig(dir.File("web.yml"), &config, &error)) << error;
    EXPECT_EQ(config.certFile, dir.File("c.pem"));
    EXPECT_EQ(config.keyFile, "/k.pem");
}

TEST(ExporterWebConfig, BcryptOfEveryPrefixChecked) {
    for (const char *prefix : {"$2a$", "$2b$", "$2y$"}) {
        const std::string hash = Bcrypt(prefix, "correct horse");
        ASSERT_TRUE(sharemon::IsBcryptHash(hash)) << prefix << " " << hash;
        const struct {
            std::string password;
            bool matches;
        } tries[] = {{"correct horse", true},
                     {"correct hors", false},
                     {"correct horse ", false},
                     {"", false},
                     {std::string("correct horse\0x", 15), false}};
        for (const auto &t : tries)
            EXPECT_EQ(sharemon::PasswordMatches(t.password, hash), t.matches)
                << prefix << " \"" << t.password << "\"";
    }
    // Not bcrypt: never a match, even when crypt(3) would accept the method.
    crypt_data data{};
    const std::string sha512 = crypt_r("pw", "$6$saltsalt$", &data);
    EXPECT_FALSE(sharemon::PasswordMatches("pw", sha512));
}

}  // namespace
}  // namespace share::exporter::test
