#include "core/extraction/PasswordPromptLayout.h"

#include <gtest/gtest.h>

using namespace larkspan;

namespace {

void ExpectRect(const LayoutRect& rect, int left, int top, int width, int height) {
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

} // namespace

TEST(PasswordPromptLayout, SixByThirteenUnitsGiveTheReferenceDialog) {
    const PasswordPromptLayout layout = LayOutPasswordPrompt({6, 13}, 26, 21);
    EXPECT_EQ(layout.clientWidth, 270);
    ExpectRect(layout.label, 12, 13, 246, 26);
    ExpectRect(layout.edit, 12, 13 + 26 + 5, 246, 21);
    ExpectRect(layout.okButton, 57, 44 + 21 + 15, 75, 23);
    ExpectRect(layout.cancelButton, 138, 80, 75, 23);
    EXPECT_EQ(layout.clientHeight, 80 + 23 + 13);
}

TEST(PasswordPromptLayout, ScalesWithTheFontAndRoundsLikeMulDiv) {
    // 7 x 15: 180*7/4 = 315, 8*15/8 = 15, 164*7/4 = 287, 50*7/4 = 87.5 -> 88, 14*15/8 = 26.25
    const PasswordPromptLayout layout = LayOutPasswordPrompt({7, 15}, 15, 22);
    EXPECT_EQ(layout.clientWidth, 315);
    ExpectRect(layout.label, 14, 15, 287, 15);
    ExpectRect(layout.okButton, 67, 15 + 15 + 5 + 22 + 15, 88, 26);
    ExpectRect(layout.cancelButton, 161, 72, 88, 26);
    EXPECT_EQ(layout.clientHeight, 72 + 26 + 13);
}

TEST(PasswordPromptLayout, DialogUnitsComeFromTheAlphabetSample) {
    const DialogUnits du = DialogUnitsFromSample(363, 13); // 6.98 rounds down
    EXPECT_EQ(du.x, 6);
    EXPECT_EQ(du.y, 13);
}
