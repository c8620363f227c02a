// SPDX-License-Identifier: Apache-2.0
// The pipeline: argument block -> command context -> request -> exchange -> response.
#include <cstdlib>
#include <cstring>

#include "admin/command/command_table.h"
#include "admin/command/command_util.h"
#include "admin/command/request_encoding.h"
#include "protocol/log.h"
#include "protocol/memory.h"
#include "shareadmin/command.h"

extern "C" {
SHARE_API __thread CifsArgEntry gbCifsArg[CIFS_ARG_ENTRIES];
}

namespace share::command {
namespace {

constexpr const char kRejected[] = "Failed to validate and process command";

// The context that owns a path copy (see EncodesPathRef) dies with this call, so the copy goes
// with it.
class PathCopyGuard {
  public:
    explicit PathCopyGuard(CmdContext *ctx) noexcept : ctx_(ctx) {}
    ~PathCopyGuard() {
        if (EncodesPathRef(ctx_->functionId)) {
            std::free(LoadPointer<char>(ctx_));
            StorePointer(ctx_, nullptr);
        }
    }
    PathCopyGuard(const PathCopyGuard &) = delete;
    PathCopyGuard &operator=(const PathCopyGuard &) = delete;

  private:
    CmdContext *ctx_;
};

}  // namespace
}  // namespace share::command

using namespace share;
using namespace share::command;

extern "C" SHARE_API int ProcessCommandLineData(CmdContext *ctx) noexcept {
    const CommandRow *row = FindCommand(gbCifsArg[0].id);
    if (ctx == nullptr || row == nullptr || row->kind == HandlerKind::kNotCommand) {
        PrintLine(kRejected);
        return -1;
    }
    return row->handler(ctx) == 0 ? 0 : -1;
}

extern "C" SHARE_API int ValidateAndProcessCmd(RespPkt **responseOut) noexcept {
    CmdContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    PathCopyGuard pathCopy(&ctx);
    if (ProcessCommandLineData(&ctx) != 0) return -1;

    ReqPkt *created = ReqPktInsertComponentID(ctx.componentId);
    if (created == nullptr) {
        SHARE_LOG_CLI_ERROR("Failed to insert component id into the request packet structure\n");
        return -1;
    }
    // On failure the packet operation has released the packet already.
    RequestPtr request(ReqPktInsertFunctionID(created, ctx.functionId));
    if (!request) {
        SHARE_LOG_CLI_ERROR("Failed to insert function id into the request packet structure\n");
        return -1;
    }
    if (PopulateRequestPacket(&ctx, request.get()) != 0) return -1;

    RespPkt *received = nullptr;
    const int rc = SendAndReceiveIPC(request.get(), &received);
    ResponsePtr response(received);
    if (rc != 0) return -1;
    if (responseOut != nullptr) *responseOut = response.release();
    return 0;
}
