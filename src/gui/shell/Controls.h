#pragma once

// Small widgets the program's windows are built from, where Qt's stock widgets behave
// differently from what the windows need: labels and pictures that answer a click, labels that
// size themselves to their text, a push button that draws its glyph at a chosen distance from
// the caption, and a status bar with fixed panels holding free-placed controls.

#include <QAccessible>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QString>
#include <vector>

class QPainter;
class QWidget;

namespace larkspan {

// The program's font: Liberation Sans (on Windows Arial, its metric twin), else the system's
// sans-serif face, at the given pixel size (11 for ordinary text). Also the application's
// default font.
QFont ProgramFont(int pixelSize = 11, bool bold = false);

// Hint support: every control that has a hint keeps it in the dynamic property "Hint"; when
// the hint is shown it is also the tool tip, which stays up for ten seconds.
inline constexpr int HintShowMilliseconds = 10000;
void SetHint(QWidget* control, const QString& hint, bool shown = true);

// White ground and black text, as the windows' fields and the side strip are drawn, while the
// control is enabled. A disabled one has no ground of its own (it shows what it lies on, a group
// box's grey) and keeps the palette's grey text, as the system draws a disabled field.
void PaintWhiteWithBlackText(QWidget* control);

// The mark of a focused label or tool button: a solid line in the highlight colour just inside
// `area`, as the style marks a focused field. The style's own mark for them is a frame drawn
// at a third of its colour, which hardly shows on the window's grey.
void DrawFocusMark(QPainter& painter, const QWidget& control, const QRect& area);

// A gauge's percentage in black, over the filled part of the bar too (the style would draw it
// there in the highlighted-text colour, white on most schemes).
void SetGaugeTextBlack(QWidget* gauge);
QString HintOf(const QWidget* control);

// A label or picture that reports a left click (press and release inside it) and, with
// auto-size on, resizes itself to its text whenever the text is set through SetText.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr);

    void SetText(const QString& text);
    void SetAutoSize(bool on) { autoSize_ = on; }
    bool AutoSize() const { return autoSize_; }

    // Makes the label reachable without a mouse: Tab stops on it (a mouse click still does not
    // take the focus), it draws a focus frame, Space and Enter click it, and assistive
    // technology is told it is `role` (a link or a push button) that can be pressed. Call before
    // the label is first shown.
    void SetKeyboardClickable(QAccessible::Role role);
    bool KeyboardClickable() const { return keyboardRole_ != QAccessible::NoRole; }
    QAccessible::Role KeyboardRole() const { return keyboardRole_; }

    // What a click does, for the keyboard and for assistive technology.
    void Click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool autoSize_ = false;
    bool pressed_ = false;
    QAccessible::Role keyboardRole_ = QAccessible::NoRole;
};

// A push button with a glyph beside its caption. The glyph and the caption are centred together
// with `GlyphSpacing` pixels between them. The dotted focus frame can be switched off, as the
// program's large buttons draw none; the style's own focus mark on the button's face stays, so
// the focus is never invisible.
class TGlyphButton : public QPushButton {
    Q_OBJECT
public:
    explicit TGlyphButton(QWidget* parent = nullptr);

    void SetGlyphSpacing(int pixels);
    int GlyphSpacing() const { return glyphSpacing_; }
    void SetShowFocusRect(bool on);
    bool ShowFocusRect() const { return showFocusRect_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int glyphSpacing_ = 4;
    bool showFocusRect_ = true;
};

// A status bar divided into panels of fixed widths from the left (the last one reaches to the
// right edge). Controls are placed on it as plain children at fixed positions.
class TPanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TPanelStatusBar(QWidget* parent = nullptr);

    void SetPanelWidths(std::vector<int> widths);
    const std::vector<int>& PanelWidths() const { return panelWidths_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> panelWidths_;
};

} // namespace larkspan
