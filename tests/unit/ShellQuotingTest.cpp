#include "extraction/ShellQuoting.h"

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

TEST(ShellQuoting, WindowsFormsAreTheToolContractsOwn) {
    EXPECT_EQ(QuotePath("C:\\a b\\x.pdf", CommandInterpreter::WindowsCmd), "\"C:\\a b\\x.pdf\"");
    EXPECT_EQ(QuotePassword("a b&c\"", CommandInterpreter::WindowsCmd), "a b&c\"");
}
