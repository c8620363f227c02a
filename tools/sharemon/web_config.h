// SPDX-License-Identifier: Apache-2.0
// The web configuration file that Prometheus exporters share: TLS (server certificate, optional
// client certificates) and basic authentication with bcrypt hashes.
#pragma once

#include <map>
#include <string>

namespace share::sharemon {

// How a client certificate is asked for and checked.
enum class ClientAuth { None, Request, RequireAny, VerifyIfGiven, RequireAndVerify };

struct WebConfig {
    std::string certFile, keyFile, clientCaFile;  // paths as given, resolved against the file
    ClientAuth clientAuth = ClientAuth::None;
    std::string minVersion;                    // "TLS12" or "TLS13"; empty: TLS 1.2
    std::map<std::string, std::string> users;  // name -> bcrypt hash
    bool Tls() const { return !certFile.empty(); }
};

// Reads and checks path. False with an error naming the file and the bad value; the
// certificates themselves are read when the server is set up.
bool LoadWebConfig(const std::string &path, WebConfig *config, std::string *error);

// True when hash has the form of a bcrypt hash ($2a$, $2b$ or $2y$, cost 04-31).
bool IsBcryptHash(const std::string &hash);

// Checks a password against a bcrypt hash with the system's crypt(3); the result is compared
// in constant time.
bool PasswordMatches(const std::string &password, const std::string &hash);

}  // namespace share::sharemon
