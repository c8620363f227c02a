#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>

#include "share/protocol.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/capture.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

TEST(Support, AllocFaultFailsTheArmedCall) {
    void *first = nullptr, *second = nullptr;
    {
        AllocFaultScope scope(1);
        first = std::malloc(8);
        second = std::calloc(1, 8);
        scope.Disarm();
        EXPECT_TRUE(scope.Triggered());
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    std::free(first);
}

TEST(Support, SyslogCaptureSeesLibcDatagrams) {
    SyslogCapture cap;
    ASSERT_TRUE(cap.Active());
    syslog(134, "hello %d", 7);
    auto lines = cap.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].priority, 134);
    EXPECT_EQ(lines[0].text, "hello 7");
}

TEST(Support, StdoutCaptureSeesPuts) {
    StdoutCapture cap;
    std::puts("line");
    std::printf("x%d", 1);
    EXPECT_EQ(cap.Finish(), "line\nx1");
}

}  // namespace
}  // namespace share::test
