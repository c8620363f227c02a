// SPDX-License-Identifier: Apache-2.0
// The listings of both tools, each described once: its columns, the filters it takes and its
// table's extras. Rows are the JSON records of records.h (and sharemon's subsets of them).
#pragma once

#include "output/output.h"

namespace share::tools {

extern const Listing kShareListing;        // shareadm share list
extern const Listing kMappedShareListing;  // shareadm connections shares ID
extern const Listing kShareNameListing;    // shareadm share names (texts)
extern const Listing kConnectionListing;   // shareadm connections list
extern const Listing kHolderListing;       // shareadm files holders
extern const Listing kOpenFileListing;     // shareadm files list
extern const Listing kInvalidUserListing;  // shareadm invalid-users list / cache
extern const Listing kUserContextListing;  // shareadm user-contexts list (texts)
extern const Listing kInterfaceListing;    // shareadm option multichannel-interface list

extern const Listing kMonConnectionListing;  // sharemon connections
extern const Listing kMonVolumeListing;      // sharemon volumes
extern const Listing kMonOpenFileListing;    // sharemon files VOLUME

}  // namespace share::tools
