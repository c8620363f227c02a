// SPDX-License-Identifier: Apache-2.0
// Names of the listing benchmarks, shared by their registration and the table: each listing runs
// as "<prefix><call>" for the call itself and for each of its floors.
#pragma once

namespace share::bench {

inline constexpr const char kListing[] = "BM_Listing/";
inline constexpr const char kExchangeFloor[] = "BM_Listing/Exchange/";    // no decoding
inline constexpr const char kLargeFloor[] = "BM_Listing/RawRead/";        // 64 KiB I/O
inline constexpr const char kChunkedFloor[] = "BM_Listing/RawRead1024/";  // 1024-byte I/O
// The protocol floor: 1024-byte I/O into a fresh receive block copied into a fresh response
// buffer, the least the exchange's rules allow.
inline constexpr const char kFreshFloor[] = "BM_Listing/RawRead1024Fresh/";
inline constexpr const char kPeakHeap[] = "BM_Memory/";

// The tools' output layer on 10,000 connections: the plain table is the floor of the others.
inline constexpr const char kOutputTable[] = "BM_Output/Table";
inline constexpr const char kOutputCsv[] = "BM_Output/Csv";
inline constexpr const char kOutputFilter[] = "BM_Output/Filter";
inline constexpr const char kOutputSort[] = "BM_Output/Sort";

// `shareadm connections list` over 65,535 connections as a process; the floor makes only the
// library call.
inline constexpr const char kToolFloor[] = "BM_Tool/LibraryCallOnly";
inline constexpr const char kToolTable[] = "BM_Tool/Table";
inline constexpr const char kToolJson[] = "BM_Tool/Json";
inline constexpr const char kToolCsv[] = "BM_Tool/Csv";

// The Cockpit page over 10,000 connections; the floor is the tool run the page waits for.
inline constexpr const char kConsoleLoad[] = "BM_Console/PageLoad";
inline constexpr const char kConsoleRefresh[] = "BM_Console/Refresh";
inline constexpr const char kConsoleTool[] = "BM_Console/ToolRun";

}  // namespace share::bench
