#include "core/layout/MessageLayout.h"

#include "core/layout/Arithmetic.h"

#include <algorithm>
#include <cctype>

namespace larkspan {

const MessageButtonRow MessageButtonTable[MessageButtonCount] = {
    {mbYes, "Yes", "&Yes", mrYes},
    {mbNo, "No", "&No", mrNo},
    {mbOK, "OK", "OK", mrOk},
    {mbCancel, "Cancel", "Cancel", mrCancel},
};

const char* MessageCaption(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning:
        return "Warning";
    case MessageKind::Error:
        return "Error";
    case MessageKind::Information:
        return "Information";
    case MessageKind::Confirmation:
        return "Confirm";
    }
    return "";
}

std::optional<MessageButton> DefaultButton(MessageButtons buttons) {
    if (buttons & mbOK) {
        return mbOK;
    }
    if (buttons & mbYes) {
        return mbYes;
    }
    return std::nullopt;
}

std::optional<MessageButton> CancelButton(MessageButtons buttons) {
    if (buttons & mbCancel) {
        return mbCancel;
    }
    if (buttons & mbNo) {
        return mbNo;
    }
    if (buttons & mbOK) {
        return mbOK;
    }
    return std::nullopt;
}

char AccessKey(std::string_view caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') {
            continue;
        }
        if (caption[i + 1] == '&') { // "&&" is a literal ampersand
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
    }
    return '\0';
}

MessageLayout LayOutMessage(const MessageLayoutInput& in) {
    MessageLayout out;
    out.horzMargin = MulDiv(8, in.duX, 4);
    out.vertMargin = MulDiv(8, in.duY, 8);
    out.horzSpacing = MulDiv(10, in.duX, 4);
    out.vertSpacing = MulDiv(10, in.duY, 8);
    out.buttonHeight = MulDiv(14, in.duY, 8);
    out.buttonSpacing = MulDiv(4, in.duX, 4);

    out.buttonWidth = MulDiv(50, in.duX, 4);
    int buttonCount = 0;
    for (int i = 0; i < MessageButtonCount; ++i) {
        if (in.buttons & MessageButtonTable[i].button) {
            out.buttonWidth = std::max(out.buttonWidth, in.buttonWidths[i]);
            ++buttonCount;
        }
    }

    const int blockWidth = in.textWidth + out.horzSpacing + MessageIconSize;
    const int blockHeight = std::max(in.textHeight, MessageIconSize);
    const int rowWidth =
        buttonCount == 0 ? 0
                         : buttonCount * out.buttonWidth + (buttonCount - 1) * out.buttonSpacing;

    out.clientWidth = std::max(blockWidth, rowWidth) + 2 * out.horzMargin;
    out.clientHeight = blockHeight + out.vertSpacing + out.buttonHeight + 2 * out.vertMargin;
    out.left = in.screenWidth / 2 - out.clientWidth / 2;
    out.top = in.screenHeight / 2 - out.clientHeight / 2;

    out.image = {out.horzMargin, out.vertMargin, MessageIconSize, MessageIconSize};
    out.label = {out.horzMargin + MessageIconSize + out.horzSpacing, out.vertMargin, in.textWidth,
                 in.textHeight};
    if (in.rightToLeft) {
        // Mirroring only the text would lay it over the icon whenever the text block is the
        // widest part of the box, so the icon moves to the right edge with it.
        out.label.left = out.clientWidth - out.label.left - out.label.width;
        out.image.left = out.clientWidth - out.image.left - out.image.width;
    }

    const auto defaultButton = DefaultButton(in.buttons);
    const auto cancelButton = CancelButton(in.buttons);
    int left = (out.clientWidth - rowWidth) / 2;
    const int top = out.vertMargin + blockHeight + out.vertSpacing;
    for (const MessageButtonRow& row : MessageButtonTable) {
        if (!(in.buttons & row.button)) {
            continue;
        }
        LaidOutButton b{row.button,
                        row.name,
                        row.caption,
                        row.result,
                        defaultButton == row.button,
                        cancelButton == row.button,
                        {left, top, out.buttonWidth, out.buttonHeight}};
        out.buttons.push_back(std::move(b));
        left += out.buttonWidth + out.buttonSpacing;
    }
    return out;
}

Point CenterOver(const Rect& owner, int width, int height) {
    return {std::max(0, owner.left + (owner.width - width) / 2),
            std::max(0, owner.top + (owner.height - height) / 2)};
}

std::string MessageClipboardText(std::string_view caption, std::string_view text,
                                 MessageButtons buttons) {
    const std::string divider = std::string(27, '-') + "\r\n";
    std::string out = divider;
    out.append(caption).append("\r\n");
    out += divider;
    out.append(text).append("\r\n");
    out += divider;
    for (const MessageButtonRow& row : MessageButtonTable) {
        if (!(buttons & row.button)) {
            continue;
        }
        for (const char* c = row.caption; *c != '\0'; ++c) {
            if (*c != '&') {
                out += *c;
            }
        }
        out += "   ";
    }
    out += "\r\n";
    out += divider;
    return out;
}

std::string UnhandledErrorText(std::string message) {
    // Compared as unsigned bytes: every non-ASCII character sorts after ".", as in the 8-bit
    // code page the rule was made for.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        message += '.';
    }
    return message;
}

} // namespace larkspan
