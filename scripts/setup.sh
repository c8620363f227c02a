#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build and test dependencies on a fresh Debian machine.
set -euo pipefail
packages=(build-essential ccache cmake pkg-config libaudit-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev nlohmann-json3-dev libfmt-dev clang clang-format libclang-rt-14-dev
          valgrind iproute2 man-db groff-base openssh-server openssh-client
          python3-bcrypt python3-cffi python3-dev python3-pytest python3-jsonschema python3-hypothesis
          python3-mypy ansible-core
          libcpp-httplib-dev prometheus-cpp-dev libssl-dev libyaml-cpp-dev libcrypt-dev openssl prometheus curl python3 systemd
          debhelper dh-python dpkg-dev fakeroot lintian doxygen
          cockpit-ws cockpit-bridge cockpit-system chromium chromium-driver python3-selenium python3-pil)
# One query for all: the test scripts call this on every run. dpkg-query fails when it has never
# heard of a package, as on a fresh machine, so its status is not the answer.
installed=$({ dpkg-query -W -f '${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null ||
  true; } | awk '$2 == "installed" { print $1 }')
missing=()
for p in "${packages[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
