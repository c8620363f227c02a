// SPDX-License-Identifier: Apache-2.0
/** \file
 * Export and language-linkage macros shared by every public header. */
#ifndef SHARE_EXPORT_H
#define SHARE_EXPORT_H

#if defined(__GNUC__)
/** Marks a declaration as exported from the shared library (default visibility). */
#define SHARE_API __attribute__((visibility("default")))
#else
#define SHARE_API
#endif

#ifdef __cplusplus
#define SHARE_BEGIN_DECLS extern "C" {
#define SHARE_END_DECLS }
#define SHARE_NOEXCEPT noexcept
#define SHARE_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#else
/** Opens the C linkage block of a header (extern "C" { in C++, nothing in C). */
#define SHARE_BEGIN_DECLS
/** Closes the block SHARE_BEGIN_DECLS opened. */
#define SHARE_END_DECLS
/** noexcept in C++, nothing in C: no function of the interface throws. */
#define SHARE_NOEXCEPT
/** Compile-time check of a record's layout; name labels the check. C99 has no _Static_assert,
 * so a negative array size fails the build instead. */
#define SHARE_STATIC_ASSERT(cond, name) typedef char share_static_assert_##name[(cond) ? 1 : -1]
#endif

#endif
