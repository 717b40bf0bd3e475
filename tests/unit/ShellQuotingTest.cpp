#include "core/extraction/ShellQuoting.h"

#include <gtest/gtest.h>

using namespace larkspan;

TEST(ShellQuoting, HarmlessValuesAreWrittenAsTyped) {
    EXPECT_EQ(QuotePath("/home/me/My Docs/a.b.pdf", CommandInterpreter::PosixShell),
              "\"/home/me/My Docs/a.b.pdf\"");
    EXPECT_EQ(QuotePassword("Secret_123", CommandInterpreter::PosixShell), "Secret_123");
    EXPECT_EQ(QuotePassword("p@ss-w.rd:1,2+3%=/", CommandInterpreter::PosixShell),
              "p@ss-w.rd:1,2+3%=/");
    EXPECT_EQ(QuotePassword("Passw\xc3\xb6rt", CommandInterpreter::PosixShell), "Passw\xc3\xb6rt");
}

TEST(ShellQuoting, ShellMetacharactersAreEscapedOrQuoted) {
    EXPECT_EQ(QuotePath("a$b`c\\d\"e", CommandInterpreter::PosixShell), "\"a\\$b\\`c\\\\d\\\"e\"");
    EXPECT_EQ(QuotePassword("it's me", CommandInterpreter::PosixShell), "'it'\\''s me'");
    EXPECT_EQ(QuotePassword("", CommandInterpreter::PosixShell), "''");
}

TEST(ShellQuoting, WindowsFormsAreTheCRuntimesWithEveryCmdCharacterEscaped) {
    const struct {
        const char* text;
        const char* path;
        const char* password;
    } rows[] = {
        {"Secret_123", "^\"Secret_123^\"", "Secret_123"},
        {"C:\\a b\\x.pdf", "^\"C:\\a b\\x.pdf^\"", "^\"C:\\a b\\x.pdf^\""},
        // Neither run nor expanded by cmd.exe; the quote and the backslashes before it follow
        // the C runtime's rule.
        {"a b&c\"", "^\"a b^&c\\^\"^\"", "^\"a b^&c\\^\"^\""},
        {"%TEMP%|x<y>(z)!^", "^\"^\"^%^\"TEMP^\"^%^\"^|x^<y^>^(z^)^!^^^\"",
         "^\"^\"^%^\"TEMP^\"^%^\"^|x^<y^>^(z^)^!^^^\""},
        {"C:\\d\\%x%.pdf", "^\"C:\\d\\\\^\"^%^\"x^\"^%^\".pdf^\"",
         "^\"C:\\d\\\\^\"^%^\"x^\"^%^\".pdf^\""},
        {"tail\\", "^\"tail\\\\^\"", "tail\\"},
        {"", "^\"^\"", "^\"^\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(QuotePath(row.text, CommandInterpreter::WindowsCmd), row.path);
        EXPECT_EQ(QuotePassword(row.text, CommandInterpreter::WindowsCmd), row.password);
    }
}
