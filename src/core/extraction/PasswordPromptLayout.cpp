#include "core/extraction/PasswordPromptLayout.h"

#include "core/layout/Arithmetic.h"

namespace larkspan {

DialogUnits DialogUnitsFromSample(int sampleWidth, int sampleHeight) {
    return {sampleWidth / 52, sampleHeight};
}

PasswordPromptLayout LayOutPasswordPrompt(DialogUnits du, int labelHeight, int editHeight) {
    PasswordPromptLayout layout;
    layout.clientWidth = MulDiv(180, du.x, 4);

    layout.label.left = MulDiv(8, du.x, 4);
    layout.label.top = MulDiv(8, du.y, 8);
    layout.label.width = MulDiv(164, du.x, 4);
    layout.label.height = labelHeight;

    layout.edit.left = layout.label.left;
    layout.edit.top = layout.label.top + labelHeight + 5;
    layout.edit.width = MulDiv(164, du.x, 4);
    layout.edit.height = editHeight;

    const int buttonTop = layout.edit.top + editHeight + 15;
    const int buttonWidth = MulDiv(50, du.x, 4);
    const int buttonHeight = MulDiv(14, du.y, 8);
    layout.okButton = {MulDiv(38, du.x, 4), buttonTop, buttonWidth, buttonHeight};
    layout.cancelButton = {MulDiv(92, du.x, 4), buttonTop, buttonWidth, buttonHeight};

    layout.clientHeight = layout.cancelButton.top + layout.cancelButton.height + 13;
    return layout;
}

} // namespace larkspan
