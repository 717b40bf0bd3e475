#pragma once

// The message box's vocabulary and geometry as plain values: which buttons a box has, what
// Enter and Esc press, where every control goes for a given font and screen, and what the copy
// shortcut puts on the clipboard. The widget only measures text and applies these numbers.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

enum class MessageKind { Warning, Error, Information, Confirmation };

// Button sets are bit sets of these values.
enum MessageButton : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using MessageButtons = unsigned;

// Modal results.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

// One row of the button table. The table order is also the left-to-right order in a box.
struct MessageButtonRow {
    MessageButton button;
    const char* name;    // the control's object name
    const char* caption; // "&" marks the access key
    int result;
};
constexpr int MessageButtonCount = 4;
extern const MessageButtonRow MessageButtonTable[MessageButtonCount];

const char* MessageCaption(MessageKind kind);

// Enter presses the default button: OK, else Yes. Esc presses the cancel button: Cancel, else
// No, else OK. Either may be absent for a set that lacks all of its candidates.
std::optional<MessageButton> DefaultButton(MessageButtons buttons);
std::optional<MessageButton> CancelButton(MessageButtons buttons);

// The letter a caption's "&" marks, upper-cased; '\0' when it has none.
char AccessKey(std::string_view caption);

// Text is measured wrapped at this width, so a long message never makes the box wider than
// half the screen (unless one word is wider).
constexpr int TextWrapWidth(int screenWidth) {
    return screenWidth / 2;
}

// A button kind's width is its caption's single-line width plus 8, measured once per process.
constexpr int RememberedButtonWidth(int captionWidth) {
    return captionWidth + 8;
}

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct MessageLayoutInput {
    int duX = 0; // average character width: the extent of "A".."Z" "a".."z" div 52
    int duY = 0; // character height
    int textWidth = 0;
    int textHeight = 0; // the text measured wrapped at TextWrapWidth(screenWidth)
    int screenWidth = 0;
    int screenHeight = 0;
    MessageButtons buttons = mbOK;
    // Remembered width of each button kind, in table order; only those in the set are read.
    int buttonWidths[MessageButtonCount] = {0, 0, 0, 0};
    bool rightToLeft = false;
};

struct LaidOutButton {
    MessageButton button;
    std::string name;
    std::string caption;
    int result = 0;
    bool isDefault = false;
    bool isCancel = false;
    Rect rect;
};

struct MessageLayout {
    int horzMargin = 0;
    int vertMargin = 0;
    int horzSpacing = 0;
    int vertSpacing = 0;
    int buttonWidth = 0;
    int buttonHeight = 0;
    int buttonSpacing = 0;
    Rect image;
    Rect label;
    std::vector<LaidOutButton> buttons; // table order
    int clientWidth = 0;
    int clientHeight = 0;
    int left = 0; // provisional position, centred on the screen
    int top = 0;
};

constexpr int MessageIconSize = 32;

MessageLayout LayOutMessage(const MessageLayoutInput& input);

// Top-left corner that centres a box of the given size over `owner` (a window or the screen);
// coordinates left of or above 0 are raised to 0.
struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
Point CenterOver(const Rect& owner, int width, int height);

// What Ctrl+C in a box puts on the clipboard: the caption, the text and the button captions
// (without "&", each followed by three blanks), each block closed by a 27-dash divider line.
std::string MessageClipboardText(std::string_view caption, std::string_view text,
                                 MessageButtons buttons);

// The text of the box for an error nobody caught: the message, with a full stop added when its
// last character sorts after "." (a letter, a digit, "?", any non-ASCII character).
std::string UnhandledErrorText(std::string message);

} // namespace larkspan
