/* Management API (libshareadmin): the CIFSLIB_* functions and their records. */
#ifndef SHARE_API_H
#define SHARE_API_H

#include <stdint.h>

#include "share/export.h"

SHARE_BEGIN_DECLS

SHARE_END_DECLS

#endif
