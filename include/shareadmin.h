/* libshareadmin: server options, shares, connections, open files, invalid users and user
 * contexts of the local file server. See each header for its ownership rules. */
#ifndef SHAREADMIN_H
#define SHAREADMIN_H

#include "share/protocol.h"
#include "share/command.h"
#include "share/api.h"

#endif
