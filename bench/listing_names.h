// Names of the listing benchmarks, shared by their registration and the table: each listing runs
// as "<prefix><call>" for the call itself and for each of its floors.
#pragma once

namespace share::bench {

inline constexpr const char kListing[] = "BM_Listing/";
inline constexpr const char kExchangeFloor[] = "BM_Listing/Exchange/";       // no decoding
inline constexpr const char kLargeFloor[] = "BM_Listing/RawRead/";           // 64 KiB I/O
inline constexpr const char kChunkedFloor[] = "BM_Listing/RawRead1024/";     // 1024-byte I/O
inline constexpr const char kFreshFloor[] = "BM_Listing/RawRead1024Fresh/";  // and fresh memory
inline constexpr const char kPeakHeap[] = "BM_Memory/";

}  // namespace share::bench
