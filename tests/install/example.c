// SPDX-License-Identifier: Apache-2.0
/* A plain C99 consumer of the installed libshareadmin: builds a request, walks it back, and
 * checks the exported variables. Prints "ok" when everything holds. */
#include <shareadmin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                \
        }                                                                            \
    } while (0)

int main(void) {
    static const char name[] = "projects";
    ReqPkt *req;
    uint32_t len = 0;
    uint8_t type = 0;
    void *payload;

    CHECK(gCIFSLogLevel == 15);
    CHECK(strcmp(cifsLogModules[CIFS_MODULE_CLI], "CLI") == 0);
    gCIFSLogLevel = 0; /* keep this program quiet */

    req = ReqPktInsertComponentID(0);
    CHECK(req != NULL);
    CHECK(ReqPktInsertFunctionID(req, 1) == req);
    CHECK(ReqPktInsertData(req, 1, (uint32_t)sizeof name, name) == req);
    CHECK(ReqPktGetFunctionID(req) == 1);
    CHECK(ReqPktGetNumberOfData(req) == 1);

    payload = ReqPktGetFirstData(req, &len, &type);
    CHECK(payload != NULL && len == sizeof name && type == 1);
    CHECK(strcmp((const char *)payload, name) == 0);
    free(payload);
    CHECK(ReqPktGetNextData(req, &len, &type) == NULL);

    free(req->buffer);
    free(req);
    puts("ok");
    return 0;
}
