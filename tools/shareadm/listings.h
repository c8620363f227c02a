// SPDX-License-Identifier: Apache-2.0
// The listings of both tools, each described once: its columns, the filters it takes and its
// table's extras. Rows are the JSON records of records.h (and sharemon's subsets of them).
#pragma once

#include "common/output.h"

namespace share::shareadm {

extern const tools::ListingSpec kShareListing;        // shareadm share list
extern const tools::ListingSpec kMappedShareListing;  // shareadm connections shares ID
extern const tools::ListingSpec kShareNameListing;    // shareadm share names (texts)
extern const tools::ListingSpec kConnectionListing;   // shareadm connections list
extern const tools::ListingSpec kHolderListing;       // shareadm files holders
extern const tools::ListingSpec kOpenFileListing;     // shareadm files list
extern const tools::ListingSpec kInvalidUserListing;  // shareadm invalid-users list / cache
extern const tools::ListingSpec kUserContextListing;  // shareadm user-contexts list (texts)
extern const tools::ListingSpec kInterfaceListing;    // shareadm option multichannel-interface list

extern const tools::ListingSpec kMonConnectionListing;  // sharemon connections
extern const tools::ListingSpec kMonVolumeListing;      // sharemon volumes
extern const tools::ListingSpec kMonOpenFileListing;    // sharemon files VOLUME

}  // namespace share::shareadm
