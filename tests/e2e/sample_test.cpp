// The sample product's setup as the demo builds it: its configuration and install chunks run.
#include <gtest/gtest.h>

#include "e2etest.h"
#include "fsutil.h"

namespace orv {
namespace test {
namespace {

TEST(SampleProduct, ConfigurationAndInstallChunkDriveTheRun) {
    // Silent installs are not enabled for the sample product: its options dialog shows.
    bool shown = false;
    const SetupResult r = RunAndCloseTheFirstDialog(ExeDirectory() + L"\\" ORV_SAMPLE_SETUP, &shown);
    EXPECT_TRUE(shown);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(LinesInOrder(r.lines, {L" szObjectName = Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}22 ",
                                       L"script_version:1.0.2.57", L"Completewindow==true ~!\r\n",
                                       L"Completewindow ~!"}));
    EXPECT_TRUE(LacksLine(r.lines, L"DoResLua failed"));
    EXPECT_TRUE(LacksLine(r.lines, L"global_ss_install==true"));
    EXPECT_TRUE(LacksLine(r.lines, L"Load_buffer failed"));
}

}  // namespace
}  // namespace test
}  // namespace orv
