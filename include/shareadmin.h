// SPDX-License-Identifier: Apache-2.0
/** \file
 * libshareadmin: server options, shares, connections, open files, invalid users and user
 * contexts of the local file server. See each header for its ownership rules. */
#ifndef SHAREADMIN_H
#define SHAREADMIN_H

#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"

#endif
