/* libsharemonitor: connection, volume and open-file monitoring of the local file server. */
#ifndef SHAREMONITOR_H
#define SHAREMONITOR_H

#include "share/protocol.h"
#include "share/context.h"
#include "share/monitor.h"

#endif
