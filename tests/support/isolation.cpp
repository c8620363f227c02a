// SPDX-License-Identifier: Apache-2.0
#include "tests/support/isolation.h"

#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/wire.h"

namespace share::test {
namespace {

bool g_private_dev_log = false;

// Overlays /dev with a private writable layer so that /dev/log can be created and bound here
// without touching the host's /dev.
// The writable layer lives on a tmpfs that is detached again once the overlay holds it, so no
// test process leaves anything behind in /tmp.
bool OverlayDev() {
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    char tmpl[] = "/tmp/share-dev-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    const std::string base = tmpl;
    bool ok = mount("tmpfs", base.c_str(), "tmpfs", 0, "size=1m,mode=0755") == 0;
    if (ok) {
        const std::string upper = base + "/u", work = base + "/w";
        const std::string opts = "lowerdir=/dev,upperdir=" + upper + ",workdir=" + work;
        ok = mkdir(upper.c_str(), 0755) == 0 && mkdir(work.c_str(), 0755) == 0 &&
             mount("overlay", "/dev", "overlay", 0, opts.c_str()) == 0;
        umount2(base.c_str(), MNT_DETACH);
    }
    rmdir(base.c_str());
    return ok;
}

bool NameIsFree() {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un addr = ServerAddress();
    bool free_name = bind(fd, reinterpret_cast<sockaddr *>(&addr), kServerAddressLength) == 0;
    close(fd);
    return free_name;
}

}  // namespace

bool EnterPrivateNamespaces() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "no private network namespace (%s)\n", std::strerror(errno));
        if (!NameIsFree()) {
            std::fprintf(stderr, "the server socket name is in use: refusing to run\n");
            return false;
        }
        return true;
    }
    if (unshare(CLONE_NEWNS) == 0 && OverlayDev()) g_private_dev_log = true;
    return true;
}

bool PrivateDevLog() {
    return g_private_dev_log;
}

}  // namespace share::test
