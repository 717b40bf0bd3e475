#include "platform/Platform.h"

#include <gtest/gtest.h>

// Without any display the program explains itself on one line instead of letting Qt abort.
TEST(Startup, WithoutADisplayThereIsAOneLineExplanationAndAFailureStatus) {
    const larkspan::platform::CapturedRun run =
        larkspan::platform::RunCaptured({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                         "-u", "QT_QPA_PLATFORM", LARKSPAN_BIN_DIR "/larkspan"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(
        run.standardError,
        "Larkspan needs a graphical display, but neither DISPLAY nor WAYLAND_DISPLAY is set.\n");
}
