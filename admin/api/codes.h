// Argument block codes written by the management functions (one flat space of commands,
// actions and options shared with the command-line tool).
#pragma once

#include <cstdint>

namespace share::api::code {

inline constexpr int32_t kEnd = 0;

// Commands (entry 0).
inline constexpr int32_t kShare = 1;
inline constexpr int32_t kInvalidUserCache = 28;
inline constexpr int32_t kConnections = 30;
inline constexpr int32_t kFiles = 32;
inline constexpr int32_t kUserContexts = 83;

// Actions (entry 1).
inline constexpr int32_t kMappedShares = 1;
inline constexpr int32_t kList = 7;
inline constexpr int32_t kAdd = 10;
inline constexpr int32_t kRemove = 11;
inline constexpr int32_t kConnection = 31;
inline constexpr int32_t kClose = 33;
inline constexpr int32_t kModify = 78;
inline constexpr int32_t kListInvalidUsers = 81;
inline constexpr int32_t kMakePermanent = 82;

// Options (entries 2 on).
inline constexpr int32_t kName = 12;
inline constexpr int32_t kComment = 17;
inline constexpr int32_t kPath = 34;
inline constexpr int32_t kVolume = 35;
inline constexpr int32_t kEncryptData = 49;
inline constexpr int32_t kFolderRedirection = 54;
inline constexpr int32_t kListModifier = 60;
inline constexpr int32_t kAtmBackup = 68;
inline constexpr int32_t kNewName = 79;
inline constexpr int32_t kRequestRecord = 80;

}  // namespace share::api::code

namespace share::api::elem {

// Response element types read by the management functions.
inline constexpr uint8_t kShareName = 1;
inline constexpr uint8_t kShareRecord = 6;
inline constexpr uint8_t kShareExtra = 9;  // accompanies a share record; not read
inline constexpr uint8_t kUserContexts = 28;
inline constexpr uint8_t kConnection = 41;
inline constexpr uint8_t kOpenFiles = 77;
inline constexpr uint8_t kInvalidUsers = 78;

}  // namespace share::api::elem
