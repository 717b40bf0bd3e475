// The built Windows adapters over the poppler tools beside them, run the way the program runs
// them: the command lines of the probe and the extraction job, through cmd.exe /C in the program
// folder, by their names ending in ".bin".

#include "core/extraction/ExtractCommand.h"
#include "core/extraction/JobOutcome.h"
#include "core/extraction/ProbeLogic.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"
#include "unit/platform/ScratchFolder.h"
#include "unit/platform/win32/WindowsTest.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace larkspan {
namespace {

using test::ReadWholeFile;
using test::ScratchFolder;
using test::Utf8Path;

constexpr CommandInterpreter kCmd = CommandInterpreter::WindowsCmd;
const std::string kProgramFolder = LARKSPAN_BIN_DIR "/";
// Blanks, quotes and every character cmd.exe or a shell would act on, a variable's name too.
const std::string kPassword = "pa ss\"'$x&|;<>*` %TEMP%^(!)";

class WindowsAdapters : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WritePdf(scratch_ / "good.pdf", testsupport::NumberedPages(3));
    }

    std::string Probe(const std::string& pdf, const std::string& password = "",
                      const std::string& folder = kProgramFolder) {
        return Run(BuildProbeCommand(password, pdf, kCmd), folder);
    }
    std::string Extract(const std::string& pdf, const std::string& text,
                        const std::string& password = "",
                        const std::string& folder = kProgramFolder) {
        return Run(BuildExtractCommand(true, true, "3", "", password, pdf, text, kCmd), folder);
    }
    static std::string Run(const std::string& command, const std::string& folder) {
        // With a stopper, as the program runs them: in a job object, so that the tools the
        // adapters start run in jobs nested in it.
        platform::CommandStopper stopper;
        const platform::ConsoleResult result =
            platform::RunConsoleCapture(command, folder, &stopper);
        EXPECT_TRUE(result.started) << command;
        return result.output;
    }

    ScratchFolder scratch_;
};

TEST_F(WindowsAdapters, RunThroughCmdByTheirBinNamesWithTheToolsBesideThem) {
    // The report keeps pdfinfo's own CR LF line ends: none is doubled on the way.
    const std::string report = Probe(scratch_ / "good.pdf");
    EXPECT_NE(report.find("\r\nPages:           3\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("\r\r"), std::string::npos);

    EXPECT_EQ(Extract(scratch_ / "good.pdf", scratch_ / "good.txt"), "");
    const std::string text = ReadWholeFile(scratch_ / "good.txt");
    EXPECT_NE(text.find("Page 1 of 3\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Larkspan known words page 3\r\n"), std::string::npos);
}

TEST_F(WindowsAdapters, NamesOutsideTheCodePageAndWithCmdCharactersSurvive) {
    // A folder and file whose names no 8-bit code page holds, and that cmd.exe would otherwise
    // expand or split.
    const std::string folder = scratch_ / "Gr\xC3\xBC\xC3\x9F"
                                          "e \xE2\x9C\x93 \xE6\x96\x87 %TEMP% & (x)";
    std::filesystem::create_directories(Utf8Path(folder));
    const std::string pdf = folder + "\\\xC3\x9C"
                                     "ber \xE6\x96\x87\xE4\xBB\xB6 ^!.pdf";
    std::filesystem::copy_file(Utf8Path(scratch_ / "good.pdf"), Utf8Path(pdf));
    const std::string text = folder + "\\\xC3\x9C"
                                      "ber \xE6\x96\x87\xE4\xBB\xB6 ^!.txt";

    EXPECT_NE(Probe(pdf).find("\r\nPages:           3\r\n"), std::string::npos);
    EXPECT_EQ(Extract(pdf, text), "");
    EXPECT_NE(ReadWholeFile(text).find("Larkspan known words page 2"), std::string::npos);
}

TEST_F(WindowsAdapters, PasswordWithCmdAndShellCharactersIsOneArgument) {
    testsupport::WriteEncryptedCopy(scratch_ / "good.pdf", scratch_ / "locked.pdf", kPassword,
                                    "owner secret");
    const std::string locked = scratch_ / "locked.pdf";

    EXPECT_EQ(Probe(locked).rfind("Command Line Error: Incorrect password\r\n", 0), 0u);
    EXPECT_EQ(Probe(locked, "pa ss").rfind("Command Line Error: Incorrect password\r\n", 0), 0u);
    EXPECT_EQ(Extract(locked, scratch_ / "locked.txt", "wrong"),
              "Encrypted PDF: Password required for loading");
    EXPECT_FALSE(std::filesystem::exists(Utf8Path(scratch_ / "locked.txt")));

    EXPECT_NE(Probe(locked, kPassword).find("\r\nPages:           3\r\n"), std::string::npos);
    EXPECT_EQ(Extract(locked, scratch_ / "locked.txt", kPassword), "");
    EXPECT_NE(ReadWholeFile(scratch_ / "locked.txt").find("Larkspan known words page 2"),
              std::string::npos);

    // Longer than the 32 bytes the poppler tools read: the adapters decrypt the document once
    // into a private copy, which every tool opens.
    std::string password = kPassword + "Gr\xC3\xBC\xC3\x9F"
                                       "e \xE2\x82\xAC";
    password.resize(100, 'x');
    testsupport::WriteEncryptedCopy(scratch_ / "good.pdf", scratch_ / "long.pdf", password,
                                    "owner secret");
    const std::string longLocked = scratch_ / "long.pdf";
    EXPECT_NE(Probe(longLocked, password).find("\r\nPages:           3\r\n"), std::string::npos);
    EXPECT_EQ(Extract(longLocked, scratch_ / "long.txt", password), "");
    EXPECT_EQ(ReadWholeFile(scratch_ / "long.txt"), ReadWholeFile(scratch_ / "locked.txt"));
    const std::string wrong = password.substr(0, 99) + "y";
    EXPECT_EQ(Probe(longLocked, wrong).rfind("Command Line Error: Incorrect password\r\n", 0), 0u);
    EXPECT_EQ(Extract(longLocked, scratch_ / "wrong.txt", wrong),
              "Encrypted PDF: Password required for loading");
}

TEST_F(WindowsAdapters, ProgressFingerprintAndAnOutputFileHeldByAnotherProgram) {
    // The progress for the program, in a file it reads while the adapter appends to it.
    const std::string progress = scratch_ / "progress";
    testsupport::WriteFileBytes(progress, "");
    platform::SetEnvironment("LARKSPAN_PROGRESS_FILE", progress);
    EXPECT_EQ(Extract(scratch_ / "good.pdf", scratch_ / "good.txt"), "");
    platform::SetEnvironment("LARKSPAN_PROGRESS_FILE", "");
    const std::string lines = ReadWholeFile(progress);
    EXPECT_TRUE(lines.starts_with("0 3\n") && lines.ends_with("3 3\n")) << lines;

    // What the program saw of the document when it counted its pages: the same file now is
    // extracted, another one is not.
    platform::SetEnvironment("LARKSPAN_INPUT_FINGERPRINT",
                             platform::FileFingerprint(scratch_ / "good.pdf"));
    EXPECT_EQ(Extract(scratch_ / "good.pdf", scratch_ / "again.txt"), "");
    testsupport::WritePdf(scratch_ / "good.pdf", testsupport::NumberedPages(4));
    EXPECT_EQ(Extract(scratch_ / "good.pdf", scratch_ / "changed.txt"),
              InputChangedMessage(scratch_ / "good.pdf") + "\n");
    platform::SetEnvironment("LARKSPAN_INPUT_FINGERPRINT", "");

    // A file that another program holds, sharing it for reading only, cannot be written; the
    // answer names it and says why.
    const std::string held = scratch_ / "held.txt";
    testsupport::WriteFileBytes(held, "kept");
    {
        const auto hold = platform::OpenJobDocument(held);
        ASSERT_NE(hold, nullptr);
        const std::string answer = Extract(scratch_ / "good.pdf", held);
        EXPECT_EQ(answer.rfind("I/O Error: Couldn't open text file '" + held + "': ", 0), 0u)
            << answer;
        EXPECT_EQ(ReadWholeFile(held), "kept"); // readers are not kept out
    }
}

TEST_F(WindowsAdapters, UsersCommandProcessorSettingsChangeNeitherReportNorNames) {
    // An AutoRun banner would be taken for the tools' report, and delayed expansion would turn
    // !TEMP! into another file name and password. (Wine's cmd.exe ignores both settings; that the
    // interpreter is told to ignore them is checked where it is started.)
    const test::CommandProcessorSettings settings;
    const std::string pdf = scratch_ / "a !TEMP! b.pdf";
    const std::string text = scratch_ / "a !TEMP! b.txt";
    testsupport::WriteEncryptedCopy(scratch_ / "good.pdf", pdf, "pw!TEMP!", "owner secret");

    EXPECT_EQ(Probe(pdf).rfind("Command Line Error: Incorrect password\r\n", 0), 0u);
    const std::string report = Probe(pdf, "pw!TEMP!");
    EXPECT_EQ(report.find(test::CommandProcessorSettings::kBanner), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nPages:           3\r\n"), std::string::npos) << report;
    EXPECT_EQ(Extract(pdf, text, "pw!TEMP!"), "");
    EXPECT_NE(ReadWholeFile(text).find("Larkspan known words page 2"), std::string::npos);
}

TEST_F(WindowsAdapters, MissingInputNamesTheFileAndTheRealReason) {
    // pdftotext for Windows says "...: Success." here: the reason comes from the system instead.
    const std::string missing = scratch_ / "missing.pdf";
    const std::string answer = Extract(missing, scratch_ / "missing.txt");
    EXPECT_EQ(answer.rfind("I/O Error: Couldn't open file '" + missing + "': ", 0), 0u) << answer;
    EXPECT_EQ(answer.find("Success"), std::string::npos) << answer;
    EXPECT_NE(answer.find(platform::OpenForReadingError(missing)), std::string::npos) << answer;
}

TEST_F(WindowsAdapters, MissingPopplerToolIsNamedWithTheProgramsRemedy) {
    // The adapters alone in a folder, as after a damaged installation.
    const std::string folder = scratch_ / "program";
    std::filesystem::create_directories(Utf8Path(folder));
    for (const char* adapter : {"textract.bin", "pdfi.bin"}) {
        std::filesystem::copy_file(Utf8Path(kProgramFolder + adapter),
                                   Utf8Path(folder + "/" + adapter));
    }
    const std::string extracted =
        Extract(scratch_ / "good.pdf", scratch_ / "good.txt", "", folder + "/");
    EXPECT_EQ(extracted.rfind("The poppler text extractor could not be started: ", 0), 0u)
        << extracted;
    EXPECT_TRUE(extracted.ends_with(". Reinstall Larkspan.\n")) << extracted;
    const std::string probed = Probe(scratch_ / "good.pdf", "", folder + "/");
    EXPECT_EQ(probed.rfind("pdfinfo could not be started: ", 0), 0u) << probed;
}

} // namespace
} // namespace larkspan
