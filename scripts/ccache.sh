# SPDX-License-Identifier: Apache-2.0
# Sourced by the build scripts from the checkout's top: every compiler call goes through ccache,
# whose cache sits beside the build folders (build-ccache/), so a fresh clone starts cold and a
# rerun on the same machine is warm. Paths are hashed relative to the checkout, so the package
# build's copy of the tree (build-deb/src) finds the same entries.
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build-ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
# CMake takes these when it first configures a build folder.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
