// SPDX-License-Identifier: Apache-2.0
// The listings of both tools, each described once: its columns, the filters it takes and its
// table's extras. Rows are the JSON records of records.h (and sharemon's subsets of them).
#pragma once

#include "common/output.h"

namespace share::shareadm {

extern const tools::Listing kShareListing;        // shareadm share list
extern const tools::Listing kMappedShareListing;  // shareadm connections shares ID
extern const tools::Listing kShareNameListing;    // shareadm share names (texts)
extern const tools::Listing kConnectionListing;   // shareadm connections list
extern const tools::Listing kHolderListing;       // shareadm files holders
extern const tools::Listing kOpenFileListing;     // shareadm files list
extern const tools::Listing kInvalidUserListing;  // shareadm invalid-users list / cache
extern const tools::Listing kUserContextListing;  // shareadm user-contexts list (texts)
extern const tools::Listing kInterfaceListing;    // shareadm option multichannel-interface list

extern const tools::Listing kMonConnectionListing;  // sharemon connections
extern const tools::Listing kMonVolumeListing;      // sharemon volumes
extern const tools::Listing kMonOpenFileListing;    // sharemon files VOLUME

}  // namespace share::shareadm
