// SPDX-License-Identifier: Apache-2.0
// Every API function that reads a response, against a server that cuts, bends, floods, trickles,
// resets or never answers. The matrix is (function, response transformation) -> expectation:
//
//   fails    result -1, the caller's outputs untouched (they hold sentinels);
//   same as  the same result and outputs as for another, well-formed answer: the answer with the
//            element that runs past the body left out, the answer with an invalid type where a
//            record is too short, the same bytes sent at full speed, ...
//
// No crash, no over-read (the sanitizer build), no leak (LeakSanitizer and valgrind) and no wait
// beyond the bound hold for every cell.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/hardening/hardening.h"
#include "tests/support/capture.h"
#include "tests/support/syscall_hooks.h"

namespace share::test::hardening {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Rows whose answers are a status only: every function ID they use is bent alike.
constexpr int kEvery = -1;

// ---- good answers ----

Answer Names() {
    return {0, {TextElement(1, "SHARE1"), TextElement(1, "VOL1"), TextElement(1, "_admin")}, {}};
}

Answer ShareDetails() {
    return {
        0,
        {ShareRecord(
             {.name = "SHARE1", .volume = "VOL1", .path = "/d", .comment = "docs", .aux = "aux"}),
         BytesElement(9, "extra", 5)},
        {}};
}

Answer Count() {
    const int32_t n = 2;
    return {0, {BytesElement(41, &n, 4)}, {}};
}

Answer Connections() {
    return {0, {ConnectionRecord({.id = 1}), ConnectionRecord({.id = 2})}, {}};
}

Answer Details() {
    return {
        0, {ConnectionRecord({.id = 7, .dns = {"cn=a,o=x", "cn=b"}, .files = {"f1", "f2"}})}, {}};
}

Answer VolumeFiles() {
    return {0,
            {ConnectionRecord({.id = 3, .files = {"/d/a", "/d/b"}, .dnArea = false}),
             ConnectionRecord({.id = 4, .dnArea = false})},
            {}};
}

Answer Mapped() {
    const uint32_t n = 2;
    return {0,
            {BytesElement(41, &n, 4), ShareRecord({.name = "A", .volume = "V", .path = "/a"}),
             ShareRecord({.name = "B", .volume = "B", .aux = "aux"})},
            {}};
}

Element Block(uint8_t type, size_t n) {
    Element e{type, {}};
    for (size_t i = 0; i < n; ++i) e.payload.push_back(static_cast<uint8_t>('a' + i % 26));
    return e;
}

Answer OpenFiles() {
    return {0, {Block(77, 40)}, {}};
}
Answer InvalidUsers() {
    return {0, {Block(78, 40)}, {}};
}

Answer UserContexts() {
    std::vector<uint8_t> payload(8);
    const char data[] = "ou=a\0ou=bc\0";
    const uint32_t word = 7, length = sizeof data;
    std::memcpy(payload.data(), &word, 4);
    std::memcpy(payload.data() + 4, &length, 4);
    payload.insert(payload.end(), data, data + sizeof data);
    return {0, {Element{28, payload}}, {}};
}

// A status-only answer; the elements after the status are there to be ignored.
Answer StatusOnly() {
    return {0, {TextElement(1, "x"), TextElement(9, "y")}, {}};
}

// ---- rows ----

enum class Oracle {
    kGood,         // same as the good answer
    kFails,        // -1, untouched
    kAsWrongType,  // same as the good answer with the bent records of an invalid type
    kAsNoElement,  // same as the good status without elements
    kRefused,      // the server's status, untouched
    kCopied,       // the connection record (and its security-equivalence block) as sent
};

struct Row {
    std::string name;  // call name, then "@" and the answer it bends when it reads several
    std::string call;
    int target;
    std::map<uint8_t, Answer> answers;
    Answer otherwise = StatusOnly();
    // Minimum payload of each element of the target answer that is a fixed-size record (0: any
    // length is valid), for the short-record transformation.
    std::vector<size_t> fixedParts = {};
    // Whether the announced element count sizes the result (share names).
    bool countSizesResult = false;
    // Reactions to the bent connection record, where the row reads one.
    std::optional<Oracle> secEquivPastEnd = {}, dnCountPastArea = {}, fileCountPastEnd = {};
    // Where a short record is not treated like an invalid type (documented in the header).
    Oracle shortRecord = Oracle::kAsWrongType;
    // A refusal passes the server's status on, except where the call documents -1.
    Oracle refusal = Oracle::kRefused;
};

std::vector<Row> Rows() {
    const size_t kShare = sizeof(ShareParams), kConn = CIFS_CONNECTION_RECORD_SIZE;
    // clang-format off
    std::vector<Row> rows = {
        {.name = "GetShareNames", .call = "GetShareNames", .target = CIFS_FN_SHARE_NAMES,
         .answers = {{CIFS_FN_SHARE_NAMES, Names()}}, .countSizesResult = true},
        {.name = "ListAllShares@names", .call = "ListAllShares", .target = CIFS_FN_SHARE_NAMES,
         .answers = {{CIFS_FN_SHARE_NAMES, Names()}, {CIFS_FN_SHARE_DETAILS, ShareDetails()}},
         .countSizesResult = true},
        {.name = "ListAllShares@details", .call = "ListAllShares", .target = CIFS_FN_SHARE_DETAILS,
         .answers = {{CIFS_FN_SHARE_NAMES, Names()}, {CIFS_FN_SHARE_DETAILS, ShareDetails()}},
         .fixedParts = {kShare, 0}},
        {.name = "ListOpenFiles", .call = "ListOpenFiles", .target = CIFS_FN_OPEN_FILES,
         .answers = {{CIFS_FN_OPEN_FILES, OpenFiles()}}},
        {.name = "ListUserContexts", .call = "ListUserContexts", .target = CIFS_FN_USER_CONTEXT_LIST,
         .answers = {{CIFS_FN_USER_CONTEXT_LIST, UserContexts()}}, .fixedParts = {8}},
        {.name = "GetConnectionsCount", .call = "GetConnectionsCount", .target = CIFS_FN_CONNECTION_COUNT,
         .answers = {{CIFS_FN_CONNECTION_COUNT, Count()}}, .fixedParts = {4}},
        {.name = "GetConnectionsList@count", .call = "GetConnectionsList",
         .target = CIFS_FN_CONNECTION_COUNT,
         .answers = {{CIFS_FN_CONNECTION_COUNT, Count()}, {CIFS_FN_CONNECTION_LIST, Connections()}},
         .fixedParts = {4}, .refusal = Oracle::kFails},
        {.name = "GetConnectionsList@list", .call = "GetConnectionsList",
         .target = CIFS_FN_CONNECTION_LIST,
         .answers = {{CIFS_FN_CONNECTION_COUNT, Count()}, {CIFS_FN_CONNECTION_LIST, Connections()}},
         .fixedParts = {kConn, kConn}},
        // The management record carries the variable part without reading it, except for the
        // security-equivalence block it copies out.
        {.name = "GetConnectionDetails", .call = "GetConnectionDetails",
         .target = CIFS_FN_CONNECTION_DETAILS, .answers = {{CIFS_FN_CONNECTION_DETAILS, Details()}},
         .fixedParts = {kConn}, .secEquivPastEnd = Oracle::kAsWrongType,
         .dnCountPastArea = Oracle::kCopied, .fileCountPastEnd = Oracle::kCopied},
        {.name = "GetConnectionRecord", .call = "GetConnectionRecord",
         .target = CIFS_FN_CONNECTION_DETAILS, .answers = {{CIFS_FN_CONNECTION_DETAILS, Details()}},
         .fixedParts = {kConn}, .secEquivPastEnd = Oracle::kCopied,
         .dnCountPastArea = Oracle::kCopied, .fileCountPastEnd = Oracle::kCopied},
        {.name = "GetConnectionMappedShares", .call = "GetConnectionMappedShares",
         .target = CIFS_FN_CONNECTION_MAPPED_SHARES, .answers = {{CIFS_FN_CONNECTION_MAPPED_SHARES, Mapped()}},
         .fixedParts = {4, kShare, kShare}},
        {.name = "ListInvalidUsers", .call = "ListInvalidUsers", .target = CIFS_FN_INVALID_USER_LIST,
         .answers = {{CIFS_FN_INVALID_USER_LIST, InvalidUsers()}}},
        {.name = "Ext_ListConnDetails", .call = "Ext_ListConnDetails", .target = CIFS_FN_CONNECTION_LIST,
         .answers = {{CIFS_FN_CONNECTION_LIST, Connections()}}, .fixedParts = {kConn, kConn}},
        // A malformed details record answers like a record of another type (0, nothing kept).
        {.name = "Ext_GetConnInfo", .call = "Ext_GetConnInfo", .target = CIFS_FN_CONNECTION_DETAILS,
         .answers = {{CIFS_FN_CONNECTION_DETAILS, Details()}}, .fixedParts = {kConn},
         .secEquivPastEnd = Oracle::kAsWrongType, .dnCountPastArea = Oracle::kAsWrongType,
         .fileCountPastEnd = Oracle::kAsWrongType},
        {.name = "Ext_ListVolumeDetails", .call = "Ext_ListVolumeDetails", .target = CIFS_FN_SHARE_NAMES,
         .answers = {{CIFS_FN_SHARE_NAMES, Names()}}},
        {.name = "Ext_ListVolFileDetails", .call = "Ext_ListVolFileDetails",
         .target = CIFS_FN_FILES_BY_VOLUME, .answers = {{CIFS_FN_FILES_BY_VOLUME, VolumeFiles()}},
         .fixedParts = {kConn, kConn}, .fileCountPastEnd = Oracle::kAsWrongType},
    };
    // clang-format on
    for (const char *call :
         {"CreateShare", "ChangeShareConfiguration", "ChangeShareFeatureConfiguration",
          "RemoveShare", "CloseOpenFile", "CloseAllOpenFiles", "AddUserContext",
          "RemoveUserContext", "AddPermanentInvalidUser", "RemoveInvalidUser",
          "MakePermanentInvalidUser", "Ext_CloseFileByFileName", "Ext_CloseFileByVolume",
          "Ext_CloseFileByID"})
        rows.push_back({.name = call, .call = call, .target = kEvery, .answers = {}});
    return rows;
}

// gtest would print the row's bytes, padding included.
void PrintTo(const Row &r, std::ostream *os) {
    *os << r.name;
}

const ApiCall &FindCall(const std::string &name) {
    static const std::vector<ApiCall> calls = [] {
        std::vector<ApiCall> all = ManagementCalls();
        for (ApiCall &c : MonitoringCalls()) all.push_back(std::move(c));
        return all;
    }();
    for (const ApiCall &c : calls)
        if (c.name == name) return c;
    ADD_FAILURE() << "no call " << name;
    return calls.front();
}

// ---- transformations ----

Reply Send(std::vector<uint8_t> bytes) {
    return Reply::Raw(std::move(bytes));
}

Reply CutAt(std::vector<uint8_t> bytes, size_t limit) {
    Reply r = Reply::Raw(std::move(bytes));
    r.sendLimit = limit;
    return r;
}

// Offset of each element header within the wire bytes.
std::vector<size_t> ElementOffsets(const Answer &a) {
    std::vector<size_t> at;
    size_t off = 12;
    for (const Element &e : a.elements) {
        at.push_back(off);
        off += 8 + e.payload.size();
    }
    return at;
}

// The good answer without its elements from index `from` on; the announced count as before.
Answer Without(const Answer &a, size_t from) {
    Answer out = a;
    out.count = a.count.value_or(static_cast<uint32_t>(a.elements.size()));
    out.elements.resize(from);
    return out;
}

struct Case {
    std::string name;
    Reply reply;  // the target's answer
    Oracle expect = Oracle::kGood;
    std::optional<Answer> same;        // kGood: compare with this answer instead of the good one
    bool timeOut = false;              // the server never answers
    milliseconds bound{5000};          // no call may take longer
    std::vector<uint8_t> copied = {};  // kCopied: the record as sent
};

std::vector<Case> Cases(const Row &row, const Answer &good) {
    std::vector<Case> cases;
    const std::vector<uint8_t> wire = good.Wire();
    const size_t body = good.BodyLength();
    const size_t n = good.elements.size();
    const std::vector<size_t> at = ElementOffsets(good);

    cases.push_back({"good", Send(wire)});
    cases.push_back({"refused", Send(Answer{3, {}, {}}.Wire()), row.refusal});
    cases.push_back({"reset",
                     [] {
                         Reply r = Reply::Status(0);
                         r.reset = true;
                         return r;
                     }(),
                     Oracle::kFails});
    cases.push_back({"never answers", Reply::Silent(), Oracle::kFails, {}, true});
    {
        std::vector<uint8_t> longer = wire;
        PutU32(longer, 8, static_cast<uint32_t>(body + 64));
        cases.push_back({"body longer than what follows", Send(longer), Oracle::kFails});
    }
    {
        // Trickled at one byte per 10 ms: the same result as at full speed. Big answers trickle
        // their header only, so that the case stays within a second.
        const Answer small = wire.size() <= 128 ? good : Answer{good.status, {}, {}};
        Reply r = Reply::Raw(small.Wire());
        r.pacing = milliseconds(10);
        cases.push_back({"trickled", r, Oracle::kGood, small, false, milliseconds(10000)});
    }
    if (n > 0) {
        // The body ends inside the last element (in its payload, or in its header): that element
        // is not returned; everything before it is.
        const Element &last = good.elements.back();
        std::vector<uint8_t> inPayload = wire;
        PutU32(inPayload, 8,
               static_cast<uint32_t>(body - (last.payload.size() + 1) / 2 -
                                     (last.payload.empty() ? 4 : 0)));
        cases.push_back({"body ends inside the last element", Send(inPayload), Oracle::kGood,
                         Without(good, n - 1)});
        std::vector<uint8_t> inHeader = wire;
        PutU32(inHeader, 8, static_cast<uint32_t>(body - last.payload.size() - 4));
        cases.push_back({"body ends inside the last element header", Send(inHeader), Oracle::kGood,
                         Without(good, n - 1)});
        // An element whose length runs past the body ends the walk there.
        for (size_t i : std::set<size_t>{0, n - 1}) {
            std::vector<uint8_t> past = wire;
            PutU32(past, at[i] + 4, static_cast<uint32_t>(body + 1));
            cases.push_back({"element " + std::to_string(i) + " length past the body", Send(past),
                             Oracle::kGood, Without(good, i)});
            std::vector<uint8_t> huge = wire;
            PutU32(huge, at[i] + 4, 0xFFFFFFF8u);
            cases.push_back({"element " + std::to_string(i) + " length near 4 GiB", Send(huge),
                             Oracle::kGood, Without(good, i)});
        }
        // Counts that disagree with the elements: the walk goes by the body; only the share-name
        // list is sized by the count (missing names stay empty slots, extra names are dropped).
        Answer high = good, low = good, zero = good;
        high.count = static_cast<uint32_t>(n + 5);
        low.count = 1;
        zero.count = 0;
        Answer padded = good;
        for (int i = 0; i < 5; ++i) padded.elements.push_back(TextElement(1, ""));
        Answer firstOnly = Without(good, 1);
        firstOnly.count = 1;
        const bool sized = row.countSizesResult;
        cases.push_back({"count above the elements", Send(high.Wire()), Oracle::kGood,
                         sized ? std::optional<Answer>(padded) : std::nullopt});
        cases.push_back({"count below the elements", Send(low.Wire()), Oracle::kGood,
                         sized ? std::optional<Answer>(firstOnly) : std::nullopt});
        cases.push_back({"count zero with elements", Send(zero.Wire()),
                         sized ? Oracle::kAsNoElement : Oracle::kGood});
        // Records shorter than their fixed part.
        bool anyFixed = false;
        Answer shortened = good;
        for (size_t i = 0; i < row.fixedParts.size() && i < n; ++i) {
            if (row.fixedParts[i] == 0) continue;
            anyFixed = true;
            for (size_t len : {size_t{0}, row.fixedParts[i] - 1}) {
                Answer one = good;
                one.elements[i].payload.resize(len);
                cases.push_back(
                    {"record " + std::to_string(i) + " of " + std::to_string(len) + " bytes",
                     Send(one.Wire()), row.shortRecord});
                if (row.shortRecord == Oracle::kAsWrongType) {
                    Answer wrong = good;
                    wrong.elements[i].type = 99;
                    cases.back().expect = Oracle::kGood;
                    cases.back().same = wrong;
                }
            }
            shortened.elements[i].payload.resize(row.fixedParts[i] / 2);
        }
        if (anyFixed) {
            Case c{"every record cut to half", Send(shortened.Wire()), row.shortRecord};
            if (row.shortRecord == Oracle::kAsWrongType) c.expect = Oracle::kAsWrongType;
            cases.push_back(c);
        }
        // Announced security-equivalence lengths, DN counts and open-file counts past the record.
        struct Bend {
            const char *name;
            std::optional<Oracle> reaction;
            size_t offset;
            uint32_t value;
        };
        const Element &first = good.elements.front();
        const auto extra = static_cast<uint32_t>(first.payload.size() - 418 + 1);
        for (const Bend &b :
             {Bend{"security-equivalence length past the record", row.secEquivPastEnd,
                   kSecEquivLengthAt, extra},
              Bend{"security-equivalence length near 4 GiB", row.secEquivPastEnd, kSecEquivLengthAt,
                   0xFFFFFFF0u},
              Bend{"more DNs than the area holds", row.dnCountPastArea, kSecEquivCountAt, 1000},
              Bend{"DN count near 4 GiB", row.dnCountPastArea, kSecEquivCountAt, 0xFFFFFFFFu},
              Bend{"more open files than the record holds", row.fileCountPastEnd, kOpenFileCountAt,
                   1000},
              Bend{"open-file count near 4 GiB", row.fileCountPastEnd, kOpenFileCountAt,
                   0xFFFFFFFFu}}) {
            if (!b.reaction) continue;
            Answer bent = good;
            PutU32(bent.elements[0].payload, b.offset, b.value);
            Case c{b.name, Send(bent.Wire()), *b.reaction};
            if (c.expect == Oracle::kAsWrongType) {
                c.expect = Oracle::kGood;
                c.same = good;
                c.same->elements[0].type = 99;
            }
            if (c.expect == Oracle::kCopied) c.copied = bent.elements[0].payload;
            cases.push_back(c);
        }
    }
    if (row.target == CIFS_FN_USER_CONTEXT_LIST) {
        Answer past = good;
        PutU32(past.elements[0].payload, 4, static_cast<uint32_t>(past.elements[0].payload.size()));
        cases.push_back(
            {"context data length past the element", Send(past.Wire()), Oracle::kAsWrongType});
    }
    return cases;
}

// ---- running ----

class HostileServerTest : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(log_.Active()) << "no private /dev/log";
        ClearArgBlock();
    }
    void TearDown() override { ClearArgBlock(); }

    const Row &row() const { return GetParam(); }
    Answer Good() const {
        return row().target == kEvery ? row().otherwise : row().answers.at(row().target);
    }

    // Serves the good answers, the target's bent as `reply`, and runs the row's call.
    Outcome Run(const Reply &reply, milliseconds bound = milliseconds(5000), bool timeOut = false) {
        const Row &r = row();
        const Answer fallback = r.otherwise;
        silenced_ = false;
        server_->SetHandler([&, fallback](const Request &req) {
            const bool target = r.target == kEvery || req.function == r.target;
            if (target) {
                if (reply.mode == Reply::Mode::kSilent) silenced_ = true;
                return reply;
            }
            const auto it = r.answers.find(req.function);
            return Reply::Raw((it == r.answers.end() ? fallback : it->second).Wire());
        });
        const auto start = Clock::now();
        Outcome o;
        {
            // The wait for an answer that never comes ends as the 90-second limit would, as
            // soon as the server has decided to stay silent.
            SyscallHooks hooks;
            hooks.poll = [this](pollfd *fds, nfds_t count, int timeout) {
                EXPECT_EQ(timeout, 90000);
                for (;;) {
                    const int ready = real::poll(fds, count, 20);
                    if (ready != 0) return ready;
                    if (silenced_.exchange(false)) return 0;
                }
            };
            HookScope scope(hooks);
            o = FindCall(r.call).run();
        }
        const auto took = Clock::now() - start;
        EXPECT_LT(took, bound) << "call took too long";
        if (timeOut) {
            EXPECT_TRUE(
                log_.Contains("ERROR: CLI: CIFS Server is too busy to respond within "
                              "\"90\" secs, exiting due to timeout\n"));
        }
        log_.Clear();
        for (const CifsArgEntry &e : gbCifsArg) EXPECT_EQ(e.value, nullptr) << "value left";
        return o;
    }

    // Outcome for a well-formed (if unusual) answer at full speed.
    Outcome Reference(const Answer &a) { return Run(Reply::Raw(a.Wire())); }

    void Check(const Case &c) {
        SCOPED_TRACE(row().name + ": " + c.name);
        const Outcome got = Run(c.reply, c.bound, c.timeOut);
        Outcome want;
        switch (c.expect) {
            case Oracle::kFails:
                want = {-1, std::string(kUntouched)};
                if (row().target == kEvery) want.out = "";
                break;
            case Oracle::kGood:
                want = Reference(c.same.value_or(Good()));
                break;
            case Oracle::kAsWrongType: {
                Answer wrong = Good();
                for (size_t i = 0; i < row().fixedParts.size(); ++i)
                    if (row().fixedParts[i] != 0) wrong.elements[i].type = 99;
                if (row().fixedParts.empty())
                    for (Element &e : wrong.elements) e.type = 99;
                want = Reference(wrong);
                break;
            }
            case Oracle::kAsNoElement:
                want = Reference(Answer{Good().status, {}, {}});
                break;
            case Oracle::kRefused:
                want = {3, row().target == kEvery ? "" : std::string(kUntouched)};
                break;
            case Oracle::kCopied: {
                // The record's first 418 bytes, and the block behind them when asked for.
                const std::vector<uint8_t> &p = c.copied;
                want = {0, Bytes(p.data(), CIFS_CONNECTION_RECORD_SIZE)};
                if (row().call == "GetConnectionDetails")
                    want.out += "sev:" + Bytes(p.data() + CIFS_CONNECTION_RECORD_SIZE,
                                               GetU32(p, kSecEquivLengthAt));
                break;
            }
        }
        EXPECT_EQ(got, want);
    }

    void HugeBody();

    SyslogCapture log_;
    LogMask level_{127};  // every message formats its server-supplied arguments
    std::unique_ptr<FakeServer> server_ = std::make_unique<FakeServer>();
    std::atomic<bool> silenced_{false};
};

TEST_P(HostileServerTest, EveryTransformation) {
    const Answer good = Good();
    // The good answer succeeds; everything else is measured against it.
    const Outcome reference = Reference(good);
    EXPECT_EQ(reference.rc, 0);
    EXPECT_NE(reference.out, kUntouched);
    for (const Case &c : Cases(row(), good)) Check(c);
}

// A response cut at every byte offset of its header and its body: the exchange fails, the
// call returns -1 and hands nothing over.
TEST_P(HostileServerTest, CutAtEveryOffset) {
    const std::vector<uint8_t> wire = Good().Wire();
    const size_t stride = SweepStride();
    const Outcome fails{-1, row().target == kEvery ? "" : std::string(kUntouched)};
    LogMask quiet(0);  // thousands of identical exchange failures; their messages are checked below
    for (size_t k = 0; k < wire.size(); k += (k < 12 ? 1 : stride)) {
        if (k % 512 == 0) {  // a fresh server now and then keeps its request log small
            server_.reset();
            server_ = std::make_unique<FakeServer>();
        }
        SCOPED_TRACE("cut after " + std::to_string(k) + " of " + std::to_string(wire.size()));
        ASSERT_EQ(Run(CutAt(wire, k)), fails);
    }
}

TEST_P(HostileServerTest, CutMessages) {
    const std::vector<uint8_t> wire = Good().Wire();
    for (size_t k : {size_t{0}, size_t{11}, size_t{12}, wire.size() - 1}) {
        SCOPED_TRACE("cut after " + std::to_string(k));
        const Row &r = row();
        server_->SetHandler([&](const Request &req) {
            if (r.target == kEvery || req.function == r.target) return CutAt(wire, k);
            const auto it = r.answers.find(req.function);
            return Reply::Raw((it == r.answers.end() ? r.otherwise : it->second).Wire());
        });
        FindCall(r.call).run();
        const std::string expected =
            k < 12 ? "ERROR: CLI: Failed to receive complete response packet header"
                   : "ERROR: CLI: Failed to receive complete data sent by the server (based on "
                     "length of data as specified in header)";
        EXPECT_TRUE(log_.Contains(expected)) << testing::PrintToString(log_.Texts());
        log_.Clear();
    }
}

// A body of 100 MB: one extra element of an unknown type behind the good ones. The call reads
// it whole and ends as it does with a small element of that type, within a bounded time. Three
// rows (a name list, a record list, a status) run it in the normal run, the others only when slow
// tests are asked for.
bool HugeBodyInNormalRun(const Row &r) {
    return r.name == "GetShareNames" || r.name == "Ext_ListVolFileDetails" ||
           r.name == "CreateShare";
}

std::vector<Row> HugeBodyRows(bool normalRun) {
    std::vector<Row> out;
    for (Row &r : Rows())
        if (HugeBodyInNormalRun(r) == normalRun) out.push_back(std::move(r));
    return out;
}

void HostileServerTest::HugeBody() {
    const Answer good = Good();
    Answer small = good, huge = good;
    small.elements.push_back(Element{250, std::vector<uint8_t>(16, 'h')});
    huge.elements.push_back(Element{250, std::vector<uint8_t>(100u << 20, 'h')});
    const Outcome want = Reference(small);
    EXPECT_EQ(Run(Reply::Raw(huge.Wire()), milliseconds(30000)), want);
}

using HugeBodyTest = HostileServerTest;
using SlowHugeBodyTest = HostileServerTest;

TEST_P(HugeBodyTest, HundredMegabyteBody) {
    HugeBody();
}
TEST_P(SlowHugeBodyTest, HundredMegabyteBody) {
    HugeBody();
}

std::string RowName(const testing::TestParamInfo<Row> &info) {
    std::string out;
    for (char c : info.param.name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

INSTANTIATE_TEST_SUITE_P(Calls, HostileServerTest, testing::ValuesIn(Rows()), RowName);
INSTANTIATE_TEST_SUITE_P(Calls, HugeBodyTest, testing::ValuesIn(HugeBodyRows(true)), RowName);
INSTANTIATE_TEST_SUITE_P(Calls, SlowHugeBodyTest, testing::ValuesIn(HugeBodyRows(false)), RowName);

}  // namespace
}  // namespace share::test::hardening
