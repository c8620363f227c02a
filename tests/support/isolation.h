// SPDX-License-Identifier: Apache-2.0
// Test isolation: every test process runs in a private network namespace (so the server's
// abstract socket name is private) and a private mount namespace (so /dev/log is our own).
#pragma once

namespace share::test {

// Enters the private namespaces. Returns false (with a reason on stderr) when the process can
// neither isolate itself nor prove that the server name is free.
bool EnterPrivateNamespaces();

// True once /dev/log may be bound by SyslogCapture in this process.
bool PrivateDevLog();

}  // namespace share::test
