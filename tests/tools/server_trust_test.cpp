// SPDX-License-Identifier: Apache-2.0
// Who talks to whom: the tools accept a server run by root or by the invoking user unless told
// otherwise, and sharesim --allow-uid/--allow-gid refuses other callers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

namespace fs = std::filesystem;

// The programs, and the libraries they load from the build, copied to a folder every uid can
// reach: the build may sit in a 0700 folder (a home directory, mktemp -d), where uid 65534
// cannot run it.
class NobodyCopy {
  public:
    NobodyCopy() {
        char dir[] = "/tmp/share-nobody-XXXXXX";
        if (mkdtemp(dir) == nullptr || chmod(dir, 0755) != 0) return;
        dir_ = dir;
        for (const char *program : {SHARESIM_BIN, SHAREADM_BIN, SHAREMON_BIN}) {
            Copy(program);
            for (const std::string &lib : BuildLibraries(program)) Copy(lib);
        }
    }
    ~NobodyCopy() {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }
    NobodyCopy(const NobodyCopy &) = delete;
    NobodyCopy &operator=(const NobodyCopy &) = delete;

    std::string Path(const std::string &program) const {
        return dir_ + "/" + fs::path(program).filename().string();
    }
    // setpriv as uid 65534, loading the copied libraries.
    std::vector<std::string> AsNobody() const {
        return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                "--clear-groups",   "/usr/bin/env",  "LD_LIBRARY_PATH=" + dir_};
    }

  private:
    // What the loader resolves outside the system's folders.
    static std::vector<std::string> BuildLibraries(const std::string &program) {
        std::vector<std::string> libs;
        FILE *ldd = popen(("ldd " + program).c_str(), "r");
        if (ldd == nullptr) return libs;
        char line[4096];
        while (fgets(line, sizeof line, ldd) != nullptr) {
            const std::string text(line);
            const size_t arrow = text.find("=> /");
            if (arrow == std::string::npos) continue;
            const std::string path = text.substr(arrow + 3, text.find(' ', arrow + 3) - arrow - 3);
            if (path.rfind("/lib", 0) != 0 && path.rfind("/usr/", 0) != 0) libs.push_back(path);
        }
        pclose(ldd);
        return libs;
    }
    void Copy(const std::string &from) const {
        const std::string to = Path(from);
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    }
    std::string dir_;
};

const NobodyCopy &Copies() {
    static const NobodyCopy copies;
    return copies;
}

// sharesim run by uid 65534: a process squatting on the endpoint.
class SquattingSim {
  public:
    SquattingSim() {
        std::vector<std::string> argv = Copies().AsNobody();
        argv.insert(argv.end(), {Copies().Path(SHARESIM_BIN), "--clients", "3"});
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char *> args;
            for (auto &a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        for (int i = 0; i < 100 && !share::test::ServerAnswers(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~SquattingSim() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    SquattingSim(const SquattingSim &) = delete;
    SquattingSim &operator=(const SquattingSim &) = delete;

  private:
    pid_t pid_ = -1;
};

struct TrustCase {
    bool squatter;                     // sharesim runs as 65534 instead of root
    std::vector<std::string> simArgs;  // for a root sharesim
    std::vector<std::string> prefix;   // before the tool: env settings, setpriv
    std::vector<std::string> args;     // tool and arguments
    int status;
    const char *stderrHas;  // null: nothing to check
};

std::vector<std::string> Env(const std::string &value) {
    return {"/usr/bin/env", "SHAREADMIN_SERVER_UIDS=" + value};
}

TEST(ServerTrust, ToolsCheckWhoHoldsTheEndpoint) {
    const std::string adm = SHAREADM_BIN, mon = SHAREMON_BIN;
    // As uid 65534: the copies that uid can reach.
    const std::vector<std::string> asNobody = Copies().AsNobody();
    const std::string nadm = Copies().Path(adm), nmon = Copies().Path(mon);
    const char *held = "held by an unexpected process: uid 65534";
    const std::vector<TrustCase> cases = {
        {false, {}, {}, {adm, "share", "list"}, 0, nullptr},
        {true, {}, {}, {adm, "share", "list"}, 3, held},
        {true, {}, {}, {mon, "connections"}, 3, held},
        {true, {}, {}, {adm, "--json", "share", "list"}, 3, held},
        {true, {}, {}, {adm, "--server-uid", "65534", "share", "list"}, 0, nullptr},
        {true,
         {},
         {},
         {adm, "--server-uid", "0", "--server-uid", "65534", "share", "list"},
         0,
         nullptr},
        {true, {}, {}, {mon, "--any-server", "connections"}, 0, nullptr},
        {true, {}, Env("65534"), {mon, "connections"}, 0, nullptr},
        {true, {}, Env("0"), {adm, "--server-uid", "65534", "share", "list"}, 0, nullptr},
        {true, {}, Env("0"), {mon, "connections"}, 3, held},
        {false, {}, {}, {adm, "--server-uid", "abc", "share", "list"}, 1, "--server-uid"},
        {false, {}, {}, {adm, "--server-uid", "-1", "share", "list"}, 1, "--server-uid"},
        {false, {}, Env("x,1"), {mon, "connections"}, 1, "not a comma-separated list"},
        {false, {}, Env("0,"), {adm, "share", "list"}, 1, "not a comma-separated list"},
        // The stand-in server's own allow lists.
        {false, {"--allow-uid", "0"}, asNobody, {nadm, "share", "list"}, 2, "access-denied"},
        {false, {"--allow-uid", "0"}, asNobody, {nmon, "connections"}, 2, "access-denied"},
        {false, {"--allow-uid", "0"}, {}, {adm, "share", "list"}, 0, nullptr},
        {false, {"--allow-uid", "65534"}, {}, {adm, "share", "list"}, 2, "access-denied"},
        {false, {"--allow-gid", "65534"}, asNobody, {nadm, "share", "list"}, 0, nullptr},
    };
    for (const TrustCase &c : cases) {
        std::unique_ptr<SquattingSim> squatter;
        std::unique_ptr<SimProcess> sim;
        if (c.squatter) {
            squatter = std::make_unique<SquattingSim>();
        } else {
            sim = std::make_unique<SimProcess>(c.simArgs);
            ASSERT_TRUE(sim->ready()) << sim->Stderr();
        }
        std::vector<std::string> argv = c.prefix;
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = RunTool(argv);
        std::string line;
        for (const auto &a : argv) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
        if (c.stderrHas != nullptr) {
            EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << line << "\n" << r.err;
        }
    }
}

}  // namespace
}  // namespace share::tools::test
