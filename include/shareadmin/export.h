// SPDX-License-Identifier: Apache-2.0
/* Export and language-linkage macros shared by every public header. */
#ifndef SHARE_EXPORT_H
#define SHARE_EXPORT_H

#if defined(__GNUC__)
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
#define SHARE_BEGIN_DECLS
#define SHARE_END_DECLS
#define SHARE_NOEXCEPT
/* C99 has no _Static_assert; a negative array size fails the build instead. */
#define SHARE_STATIC_ASSERT(cond, name) typedef char share_static_assert_##name[(cond) ? 1 : -1]
#endif

#endif
