// SPDX-License-Identifier: Apache-2.0
/** \file
 * libsharemonitor: connection, volume and open-file monitoring of the local file server. */
#ifndef SHAREMONITOR_H
#define SHAREMONITOR_H

#include "shareadmin/context.h"
#include "shareadmin/monitor.h"
#include "shareadmin/protocol.h"

#endif
