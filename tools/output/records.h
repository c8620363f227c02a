// SPDX-License-Identifier: Apache-2.0
// The typed records of the client layer and the library's records as the tools' JSON rows and
// detail texts (the keys of the published schemas).
#pragma once

#include "client/records.h"
#include "output/reporter.h"
#include "shareadmin/api.h"

namespace share::tools {

// A ShareInfo from the library. withMapped adds "open_files" (the mapped-shares listing).
Json ShareInfoJson(const ShareInfo &info, bool withMapped = false);
// A share record (ShareParams) straight from the server.
Json ShareRecordJson(const ShareParams &record);
// The share record of a share listing's reply, with its "clients" count when the server sent
// one.
Json ShareReplyJson(const client::ShareReply &reply);
// The same from the reply's elements; nullopt without a share record.
std::optional<Json> ShareReplyJson(const std::vector<client::ReplyElement> &elements);
std::string ShareDetails(const Json &share);

// A connection's fields, read from the record as listings print it.
extern const std::vector<FieldOf<ConnectionRecord>> kConnectionFields;
Json ConnectionJson(const ConnectionRecord &record);
// A connection with its "files" (and "security_equivalences" when decoded).
Json ConnectionInfoJson(const client::ConnectionInfo &details);
std::string ConnectionDetails(const Json &connection);

Json OpenFileJson(const client::OpenFile &file);
Json InvalidUserJson(const client::InvalidUser &user);

}  // namespace share::tools
