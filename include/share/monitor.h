/* Monitoring API (libsharemonitor): the Ext_* functions and their result lists. */
#ifndef SHARE_MONITOR_H
#define SHARE_MONITOR_H

#include <stdint.h>

#include "share/context.h"
#include "share/export.h"
#include "share/protocol.h"

SHARE_BEGIN_DECLS

SHARE_END_DECLS

#endif
