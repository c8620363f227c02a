// SPDX-License-Identifier: Apache-2.0
// sharesim: a stand-in for the file server's administration endpoint, for developing and testing
// administration tools on a machine without the real server.
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "sharesim/rules.h"
#include "sharesim/server.h"
#include "sharesim/state.h"

namespace {

using namespace share::sim;

bool LoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return up;
}

struct Args {
    unsigned clients = 0;
    std::string statePath;
    bool verbose = false;
    bool privateNetwork = false;
    std::vector<std::string> volumes;
    std::string adminVolume = "_ADMIN";
    uint32_t seed = 1;
    unsigned exchangeTimeout = 30;
    std::vector<uint32_t> allowUids;
    std::vector<uint32_t> allowGids;
    std::vector<std::string> command;
};

int Fail(const std::string &message) {
    std::fprintf(stderr, "sharesim: %s\n", message.c_str());
    return 1;
}

std::string Summary(const State &st) {
    std::string volumes;
    for (const auto &v : st.volumes) volumes += (volumes.empty() ? "" : ", ") + v.name;
    return "volumes " + volumes + "; " + std::to_string(st.shares.size()) + " shares, " +
           std::to_string(st.connections.size()) + " connections";
}

// The state to serve: the state file's when it exists, else a fresh one (saved at once).
bool InitialState(const Args &args, State *out, bool *loaded) {
    *loaded = false;
    if (!args.statePath.empty()) {
        RemoveStaleTemporaries(args.statePath);
        try {
            if (auto st = LoadState(args.statePath)) {
                *out = std::move(*st);
                *loaded = true;
                return true;
            }
        } catch (const StateError &e) {
            Fail("the state file " + args.statePath + " is corrupt or unreadable (" + e.what() +
                 "); refusing to start. Move it away to start from a fresh state.");
            return false;
        }
    }
    const auto volumes =
        args.volumes.empty() ? std::vector<std::string>{"VOL1", "VOL2"} : args.volumes;
    *out = DefaultState(volumes, args.adminVolume);
    if (args.clients > 0) SeedPopulation(*out, args.clients, args.seed, time(nullptr));
    std::string error;
    if (!args.statePath.empty() && !SaveState(*out, args.statePath, &error)) {
        Fail("cannot write the state file: " + error);
        return false;
    }
    return true;
}

int ExitStatusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    Args args;
    CLI::App app{
        "Stand-in for the file server's administration endpoint (@/tmp/cifs.str).\n"
        "Serves in the foreground until SIGTERM or SIGINT. With --private-network it "
        "serves in a fresh network namespace; with a COMMAND (after --) it runs the "
        "command there, stops when the command ends and exits with its status.",
        "sharesim"};
    app.add_option("--clients", args.clients,
                   "Seed N simulated client connections (with three shares, "
                   "open files, invalid users and user contexts)")
        ->check(CLI::Range(0, 10000));
    app.add_option(
        "--state", args.statePath,
        "Keep the state in FILE across restarts (created when missing; a corrupt file is refused)");
    app.add_flag("-v,--verbose", args.verbose, "Log every request on standard error");
    app.add_flag("--private-network", args.privateNetwork,
                 "Serve in a fresh network namespace (needs root or CAP_SYS_ADMIN)");
    app.add_option("--volume", args.volumes,
                   "A volume to serve, repeatable (default: VOL1 and VOL2)");
    app.add_option("--admin-volume", args.adminVolume, "Name of the administrative volume");
    app.add_option("--seed", args.seed, "Seed of the simulated population");
    app.add_option("--exchange-timeout", args.exchangeTimeout,
                   "Seconds a client may take for its exchange before it is dropped")
        ->check(CLI::Range(1, 3600));
    app.add_option("--allow-uid", args.allowUids,
                   "Serve callers of this uid (repeatable); others get access-denied. Default: "
                   "everyone")
        ->check(CLI::Range(uint32_t{0}, uint32_t{4294967294u}))
        ->type_name("UID");
    app.add_option("--allow-gid", args.allowGids,
                   "Serve callers of this primary gid (repeatable), as --allow-uid")
        ->check(CLI::Range(uint32_t{0}, uint32_t{4294967294u}))
        ->type_name("GID");
    app.add_option("command", args.command, "COMMAND [ARGS...] to run while serving (after --)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : 1;
    }

    std::set<std::string> seen;
    for (const auto &v : args.volumes) {
        if (!ValidVolumeName(v)) return Fail("invalid volume name \"" + v + "\"");
        if (!seen.insert(ToUpper(v)).second) return Fail("volume \"" + v + "\" given twice");
    }
    if (!ValidVolumeName(args.adminVolume) || seen.count(ToUpper(args.adminVolume)))
        return Fail("invalid administrative volume name \"" + args.adminVolume + "\"");

    if (args.privateNetwork && unshare(CLONE_NEWNET) != 0)
        return Fail(std::string("cannot create a private network namespace: ") +
                    std::strerror(errno));
    // A new namespace's loopback is down: the child (an exporter on 127.0.0.1, say) could not
    // be reached.
    if (args.privateNetwork && !LoopbackUp())
        return Fail(std::string("cannot bring the private network's loopback up: ") +
                    std::strerror(errno));

    sigset_t handled, previous;
    sigemptyset(&handled);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&handled, sig);
    sigprocmask(SIG_BLOCK, &handled, &previous);
    const int signalFd = signalfd(-1, &handled, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0)
        return Fail(std::string("cannot set up signal handling: ") + std::strerror(errno));

    // The name first: never touch a state file on behalf of a server that cannot serve.
    State state;
    bool loaded = false;
    std::string error;
    ServerOptions options{args.statePath, args.verbose,
                          static_cast<int>(args.exchangeTimeout) * 1000, args.allowUids,
                          args.allowGids};
    auto server = std::make_unique<Server>(options);
    if (!server->Bind(&error)) return Fail(error);
    if (!InitialState(args, &state, &loaded)) return 1;
    if (loaded && (args.clients > 0 || !args.volumes.empty()) && args.verbose)
        std::fprintf(stderr,
                     "sharesim: serving the existing state file; --clients and --volume apply to "
                     "new ones only\n");
    server->SetState(std::move(state));
    if (args.verbose)
        std::fprintf(stderr, "sharesim: listening on @/tmp/cifs.str%s: %s\n",
                     args.privateNetwork ? " (private network)" : "",
                     Summary(server->state()).c_str());

    pid_t child = -1;
    int childStatus = 0;
    if (!args.command.empty()) {
        child = fork();
        if (child < 0) return Fail(std::string("cannot fork: ") + std::strerror(errno));
        if (child == 0) {
            sigprocmask(SIG_SETMASK, &previous, nullptr);
            std::vector<char *> argvChild;
            for (auto &a : args.command) argvChild.push_back(a.data());
            argvChild.push_back(nullptr);
            execvp(argvChild[0], argvChild.data());
            std::fprintf(stderr, "sharesim: cannot run %s: %s\n", argvChild[0],
                         std::strerror(errno));
            _exit(127);
        }
    }

    server->Run(signalFd, [&](const signalfd_siginfo &info) {
        if (info.ssi_signo == SIGCHLD) {
            int status;
            pid_t pid;
            while ((pid = waitpid(-1, &status, WNOHANG)) > 0)
                if (pid == child) {
                    childStatus = ExitStatusOf(status);
                    child = -1;
                    return true;
                }
            return false;
        }
        if (child > 0) {  // the command decides when to stop; pass the signal on
            kill(child, static_cast<int>(info.ssi_signo));
            return false;
        }
        return true;
    });
    if (args.verbose) std::fprintf(stderr, "sharesim: stopped\n");
    return args.command.empty() ? 0 : childStatus;
}
