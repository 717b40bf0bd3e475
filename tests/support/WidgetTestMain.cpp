// main() for widget tests: one application object for the whole run, styled like the program,
// on the offscreen platform unless the caller chose another (test discovery runs the binary
// without CTest's environment). Boxes, shell opens and escaped errors that no test expects fail
// the test at once instead of waiting for a user. The run ends the way the program ends (a
// window a test made may leave its update check running), and then as every test program does.
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainThread.h"
#include "platform/ProgramEnd.h"
#include "support/GuiSeams.h"
#include "support/TestRunEnd.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int status = 0;
    {
        larkspan::LarkspanApplication app(argc, argv);
        larkspan::ApplyProgramStyle(app);
        larkspan::WatchProgramEnd();
        ::testing::InitGoogleTest(&argc, argv);
        larkspan::test::InstallFailingDefaults();
        status = RUN_ALL_TESTS();
#ifdef _WIN32
        // Before the application object's teardown, which under wine crashes now and then
        // much as the detach phase does (EndTestRun).
        return larkspan::test::EndTestRun(larkspan::EndProgram(status));
#endif
    }
    return larkspan::test::EndTestRun(larkspan::EndProgram(status));
}
