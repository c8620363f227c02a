// SPDX-License-Identifier: Apache-2.0
// The state file on disk: atomic saves, loading, and clearing up after a killed server.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sharesim/state.h"

namespace share::sim {

namespace {

std::string TemporaryPrefix(const std::string &path) {
    return path + ".tmp.";
}

bool WriteAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

bool SaveState(const State &state, const std::string &path, std::string *error) {
    const std::string text = ToJson(state);
    const std::string tmp = TemporaryPrefix(path) + std::to_string(getpid());
    auto fail = [&](const char *step) {
        if (error) *error = std::string(step) + " " + tmp + ": " + std::strerror(errno);
        return false;
    };
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail("cannot create");
    if (!WriteAll(fd, text) || fsync(fd) != 0) {
        const int saved = errno;
        close(fd);
        unlink(tmp.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (close(fd) != 0) {
        unlink(tmp.c_str());
        return fail("cannot close");
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(tmp.c_str());
        errno = saved;
        return fail("cannot rename");
    }
    // The rename is durable only once the directory entry is.
    const int dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

std::optional<State> LoadState(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw StateError(std::string("cannot open: ") + std::strerror(errno));
    }
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            close(fd);
            throw StateError(std::string("cannot read: ") + std::strerror(saved));
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return FromJson(text);
}

void RemoveStaleTemporaries(const std::string &path) {
    const std::string dirName = DirectoryOf(path);
    const std::string prefix = TemporaryPrefix(
        path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1));
    DIR *dir = opendir(dirName.c_str());
    if (dir == nullptr) return;
    while (const dirent *e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string pidText = name.substr(prefix.size());
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::strtol(pidText.c_str(), nullptr, 10);
        // A live writer's file is left alone; a dead one's is only a torn copy.
        if (pid == getpid() || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
            unlink((dirName + "/" + name).c_str());
    }
    closedir(dir);
}

}  // namespace share::sim
