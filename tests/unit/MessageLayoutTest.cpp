#include "core/layout/MessageLayout.h"

#include <gtest/gtest.h>

namespace larkspan {
namespace {

// A font with DU.X = 6 and DU.Y = 13 gives: margins 12 (horizontal) and 13 (vertical), icon
// to text 15, text to buttons 16 (16.25), base button width 75, button height 23 (22.75),
// button spacing 6.
MessageLayoutInput Input(int textWidth, int textHeight, MessageButtons buttons) {
    MessageLayoutInput in;
    in.duX = 6;
    in.duY = 13;
    in.textWidth = textWidth;
    in.textHeight = textHeight;
    in.screenWidth = 1024;
    in.screenHeight = 768;
    in.buttons = buttons;
    in.buttonWidths[0] = 30; // "&Yes" measured 22 + 8
    in.buttonWidths[1] = 27;
    in.buttonWidths[2] = 25;
    in.buttonWidths[3] = 43;
    return in;
}

TEST(MessageLayout, LongTextIsBoundByHalfTheScreenUnlessOneWordIsWider) {
    EXPECT_EQ(TextWrapWidth(1024), 512);
    EXPECT_EQ(TextWrapWidth(1023), 511);

    // A wrapped text comes back at most as wide as the wrap width; the box adds icon, spacing
    // and margins, and nothing else.
    const MessageLayout wrapped = LayOutMessage(Input(512, 4 * 13, mbOK));
    EXPECT_EQ(wrapped.clientWidth, 512 + 15 + 32 + 2 * 12);
    EXPECT_EQ(wrapped.label, (Rect{59, 13, 512, 52}));
    EXPECT_EQ(wrapped.clientHeight, 52 + 16 + 23 + 2 * 13);

    // One word wider than the wrap width widens the box with it.
    const MessageLayout wideWord = LayOutMessage(Input(700, 13, mbOK));
    EXPECT_EQ(wideWord.clientWidth, 700 + 15 + 32 + 2 * 12);
    EXPECT_EQ(wideWord.label.width, 700);

    // The provisional position centres the box on the screen.
    EXPECT_EQ(wrapped.left, 512 - wrapped.clientWidth / 2);
    EXPECT_EQ(wrapped.top, 384 - wrapped.clientHeight / 2);
}

TEST(MessageLayout, OneLineTextGetsTheIconsHeight) {
    const MessageLayout l = LayOutMessage(Input(200, 13, mbOK));
    EXPECT_EQ(l.image, (Rect{12, 13, 32, 32}));
    EXPECT_EQ(l.label.height, 13); // the label keeps the text's height
    ASSERT_EQ(l.buttons.size(), 1u);
    EXPECT_EQ(l.buttons[0].rect.top, 13 + 32 + 16);
    EXPECT_EQ(l.clientHeight, 32 + 16 + 23 + 2 * 13);
}

TEST(MessageLayout, ShortTextWithTwoButtonsTakesTheButtonRowsWidth) {
    const MessageLayout l = LayOutMessage(Input(40, 13, mbYes | mbNo));
    const int row = 2 * 75 + 6;
    EXPECT_EQ(l.clientWidth, row + 2 * 12);
    EXPECT_EQ(l.label.left, 12 + 32 + 15); // next to the icon, not centred
    ASSERT_EQ(l.buttons.size(), 2u);
    EXPECT_EQ(l.buttons[0].name, "Yes");
    EXPECT_EQ(l.buttons[0].rect, (Rect{12, 61, 75, 23}));
    EXPECT_EQ(l.buttons[1].name, "No");
    EXPECT_EQ(l.buttons[1].rect, (Rect{12 + 75 + 6, 61, 75, 23}));
}

TEST(MessageLayout, ButtonRowIsCentredUnderAWiderText) {
    const MessageLayout l = LayOutMessage(Input(301, 13, mbOK | mbCancel));
    const int client = 301 + 15 + 32 + 24; // 372
    EXPECT_EQ(l.clientWidth, client);
    ASSERT_EQ(l.buttons.size(), 2u);
    EXPECT_EQ(l.buttons[0].name, "OK");
    EXPECT_EQ(l.buttons[0].rect.left, (client - 156) / 2);
    EXPECT_EQ(l.buttons[1].name, "Cancel");
    EXPECT_EQ(l.buttons[1].rect.left, (client - 156) / 2 + 81);
}

TEST(MessageLayout, RememberedWidthWiderThanTheBaseWidensEveryButton) {
    EXPECT_EQ(RememberedButtonWidth(82), 90);
    MessageLayoutInput in = Input(40, 13, mbOK | mbCancel);
    in.buttonWidths[3] = 90;  // Cancel
    in.buttonWidths[0] = 120; // Yes: not in the set, so it must not count
    const MessageLayout l = LayOutMessage(in);
    EXPECT_EQ(l.buttonWidth, 90);
    ASSERT_EQ(l.buttons.size(), 2u);
    EXPECT_EQ(l.buttons[0].rect.width, 90);
    EXPECT_EQ(l.buttons[1].rect.width, 90);
    EXPECT_EQ(l.clientWidth, 2 * 90 + 6 + 24);
}

TEST(MessageLayout, RightToLeftMirrorsTextAndIcon) {
    MessageLayoutInput in = Input(300, 13, mbYes | mbNo);
    in.rightToLeft = true;
    const MessageLayout l = LayOutMessage(in);
    EXPECT_EQ(l.label.left, l.clientWidth - 59 - 300);
    EXPECT_EQ(l.image.left, l.clientWidth - 12 - 32);
    // Text and icon keep their distance and do not overlap.
    EXPECT_EQ(l.image.left - (l.label.left + l.label.width), 15);

    const MessageLayout ltr = LayOutMessage(Input(300, 13, mbYes | mbNo));
    ASSERT_EQ(l.buttons.size(), ltr.buttons.size());
    EXPECT_EQ(l.buttons[0].rect, ltr.buttons[0].rect);
}

TEST(MessageLayout, DefaultAndCancelButtonsFollowTheSet) {
    EXPECT_EQ(DefaultButton(mbOK), mbOK);
    EXPECT_EQ(CancelButton(mbOK), mbOK);
    EXPECT_EQ(DefaultButton(mbOK | mbCancel), mbOK);
    EXPECT_EQ(CancelButton(mbOK | mbCancel), mbCancel);
    EXPECT_EQ(DefaultButton(mbYes | mbNo), mbYes);
    EXPECT_EQ(CancelButton(mbYes | mbNo), mbNo);
    EXPECT_EQ(DefaultButton(mbNo | mbCancel), std::nullopt);
    EXPECT_EQ(CancelButton(mbYes), std::nullopt);

    const MessageLayout l = LayOutMessage(Input(40, 13, mbYes | mbNo));
    ASSERT_EQ(l.buttons.size(), 2u);
    EXPECT_TRUE(l.buttons[0].isDefault);
    EXPECT_FALSE(l.buttons[0].isCancel);
    EXPECT_EQ(l.buttons[0].result, mrYes);
    EXPECT_FALSE(l.buttons[1].isDefault);
    EXPECT_TRUE(l.buttons[1].isCancel);
    EXPECT_EQ(l.buttons[1].result, mrNo);

    EXPECT_EQ(AccessKey("&Yes"), 'Y');
    EXPECT_EQ(AccessKey("&no"), 'N');
    EXPECT_EQ(AccessKey("Save && &quit"), 'Q');
    EXPECT_EQ(AccessKey("OK"), '\0');
}

TEST(MessageLayout, ClipboardTextOfAYesNoBox) {
    const std::string d = "---------------------------\r\n";
    EXPECT_EQ(MessageClipboardText("Confirm", "Stop?\r\nReally.", mbYes | mbNo),
              d + "Confirm\r\n" + d + "Stop?\r\nReally.\r\n" + d + "Yes   No   \r\n" + d);
    EXPECT_EQ(MessageClipboardText("Information", "x", mbOK | mbCancel),
              d + "Information\r\n" + d + "x\r\n" + d + "OK   Cancel   \r\n" + d);
}

TEST(MessageLayout, CentringRaisesNegativeCoordinatesToZero) {
    EXPECT_EQ(CenterOver(Rect{100, 50, 600, 400}, 201, 101), (Point{299, 199}));
    EXPECT_EQ(CenterOver(Rect{0, 0, 100, 80}, 300, 200), (Point{0, 0}));
    EXPECT_EQ(CenterOver(Rect{-500, 10, 400, 300}, 200, 100), (Point{0, 110}));
}

TEST(UnhandledErrorText, FullStopOnlyAfterCharactersSortingAfterThePeriod) {
    EXPECT_EQ(UnhandledErrorText("Cannot open clipboard"), "Cannot open clipboard.");
    EXPECT_EQ(UnhandledErrorText("value 12"), "value 12.");
    EXPECT_EQ(UnhandledErrorText("Why?"), "Why?.");
    EXPECT_EQ(UnhandledErrorText("Done."), "Done.");
    EXPECT_EQ(UnhandledErrorText("Failed!"), "Failed!");
    EXPECT_EQ(UnhandledErrorText("(x)"), "(x)");
    EXPECT_EQ(UnhandledErrorText("'a' is not a valid integer value"),
              "'a' is not a valid integer value.");
    EXPECT_EQ(UnhandledErrorText("Gr\xC3\xBC\xC3\x9F"), "Gr\xC3\xBC\xC3\x9F.");
    EXPECT_EQ(UnhandledErrorText(""), "");
}

} // namespace
} // namespace larkspan
