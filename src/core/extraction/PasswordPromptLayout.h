#pragma once

// Geometry of the password prompt, in pixels, derived from the dialog font's average character
// size so that the dialog scales with the font.

namespace larkspan {

struct DialogUnits {
    int x = 0; // average character width
    int y = 0; // character height
};

// DU from the measured extent of the 52 letters "A".."Z" followed by "a".."z" in the dialog
// font: the width divided by 52 and rounded down, and the height as measured.
DialogUnits DialogUnitsFromSample(int sampleWidth, int sampleHeight);

struct LayoutRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct PasswordPromptLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    LayoutRect label; // width is the wrapping width (the label's maximum width)
    LayoutRect edit;
    LayoutRect okButton;
    LayoutRect cancelButton;
};

// `labelHeight` is the height of the prompt wrapped at label.width; `editHeight` is the edit
// box's own height in the dialog font.
PasswordPromptLayout LayOutPasswordPrompt(DialogUnits du, int labelHeight, int editHeight);

} // namespace larkspan
