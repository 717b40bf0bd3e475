#include "gui/shell/Controls.h"

#include <QAccessibleWidget>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <qdrawutil.h>

#include <utility>

namespace larkspan {

namespace {

// The windows were laid out with Liberation Sans, whose metrics are Arial's. Windows has Arial
// itself; its default dialog face ("MS Shell Dlg") is not used, since wine maps it to a serif
// face. Without either, Tahoma (which wine ships) is close.
QStringList ProgramFontFamilies() {
#ifdef Q_OS_WIN
    return {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Tahoma")};
#else
    return {QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")};
#endif
}

// What assistive technology is told about a TClickLabel: its own name or its text, and, once it
// is keyboard-clickable, a link or button that can be pressed like the mouse clicks it.
class ClickLabelAccessible final : public QAccessibleWidget {
public:
    explicit ClickLabelAccessible(TClickLabel* label) : QAccessibleWidget(label) {}

    QAccessible::Role role() const override {
        if (Label()->KeyboardClickable()) {
            return Label()->KeyboardRole();
        }
        return Label()->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && Label()->accessibleName().isEmpty() &&
            !Label()->text().isEmpty()) {
            return Label()->text();
        }
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (Label()->KeyboardClickable()) {
            names.prepend(pressAction());
        }
        return names;
    }

    void doAction(const QString& action) override {
        if (action == pressAction() && Label()->KeyboardClickable()) {
            Label()->Click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    TClickLabel* Label() const { return static_cast<TClickLabel*>(widget()); }
};

QAccessibleInterface* ClickLabelInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(TClickLabel::staticMetaObject.className())) {
        return new ClickLabelAccessible(static_cast<TClickLabel*>(object));
    }
    return nullptr;
}

} // namespace

QFont ProgramFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(ProgramFontFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void PaintWhiteWithBlackText(QWidget* control) {
    QPalette colours = control->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Base, Qt::white);
        colours.setColor(group, QPalette::Window, Qt::white);
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    // The palette's own disabled ground is the window's, a shade lighter than the group boxes the
    // fields lie in: an empty disabled field looked like a white, enabled one.
    colours.setColor(QPalette::Disabled, QPalette::Base, Qt::transparent);
    control->setPalette(colours);
}

void DrawFocusMark(QPainter& painter, const QWidget& control, const QRect& area) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(control.palette().color(QPalette::Highlight), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
}

void SetGaugeTextBlack(QWidget* gauge) {
    QPalette colours = gauge->palette();
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::HighlightedText}) {
        colours.setColor(role, Qt::black);
    }
    gauge->setPalette(colours);
}

void SetHint(QWidget* control, const QString& hint, bool shown) {
    control->setProperty("Hint", hint);
    if (shown) {
        control->setToolTip(hint);
        control->setToolTipDuration(HintShowMilliseconds);
    }
}

QString HintOf(const QWidget* control) {
    return control->property("Hint").toString();
}

// ---- TClickLabel ---------------------------------------------------------------------------

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(&ClickLabelInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void TClickLabel::SetKeyboardClickable(QAccessible::Role role) {
    keyboardRole_ = role;
    setFocusPolicy(Qt::TabFocus);
}

void TClickLabel::keyPressEvent(QKeyEvent* event) {
    const bool press = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                       event->key() == Qt::Key_Enter;
    if (KeyboardClickable() && press && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Click();
        return;
    }
    QLabel::keyPressEvent(event);
}

void TClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (KeyboardClickable() && hasFocus()) {
        QPainter painter(this);
        DrawFocusMark(painter, *this, rect());
    }
}

void TClickLabel::SetText(const QString& text) {
    setText(text);
    if (autoSize_) {
        adjustSize();
    }
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        // A press that is dragged off the label before release is not a click.
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

// ---- TGlyphButton --------------------------------------------------------------------------

TGlyphButton::TGlyphButton(QWidget* parent) : QPushButton(parent) {}

void TGlyphButton::SetGlyphSpacing(int pixels) {
    glyphSpacing_ = pixels;
    update();
}

void TGlyphButton::SetShowFocusRect(bool on) {
    showFocusRect_ = on;
    update();
}

void TGlyphButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The face keeps the style's focus mark even without the dotted frame.
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown() || isChecked()) {
        contents.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }

    const bool hasGlyph = !icon().isNull();
    const QSize glyphSize = hasGlyph ? iconSize() : QSize(0, 0);
    const int textWidth =
        text().isEmpty() ? 0 : fontMetrics().size(Qt::TextShowMnemonic, text()).width();
    const int gap = hasGlyph && textWidth > 0 ? glyphSpacing_ : 0;
    const int total = glyphSize.width() + gap + textWidth;
    int x = contents.left() + (contents.width() - total) / 2;

    if (hasGlyph) {
        const QIcon::Mode mode = !isEnabled()                               ? QIcon::Disabled
                                 : (option.state & QStyle::State_MouseOver) ? QIcon::Active
                                                                            : QIcon::Normal;
        const QPixmap glyph = icon().pixmap(glyphSize, devicePixelRatio(), mode,
                                            isChecked() ? QIcon::On : QIcon::Off);
        const int y = contents.top() + (contents.height() - glyphSize.height()) / 2;
        painter.drawPixmap(QRect(QPoint(x, y), glyphSize), glyph);
        x += glyphSize.width() + gap;
    }
    if (textWidth > 0) {
        const QRect textRect(x, contents.top(), contents.right() - x + 1, contents.height());
        painter.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                             option.palette, isEnabled(), text(), QPalette::ButtonText);
    }

    if (showFocusRect_ && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

// ---- TPanelStatusBar -----------------------------------------------------------------------

TPanelStatusBar::TPanelStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
}

void TPanelStatusBar::SetPanelWidths(std::vector<int> widths) {
    panelWidths_ = std::move(widths);
    update();
}

void TPanelStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    int left = 0;
    for (std::size_t i = 0; i < panelWidths_.size(); ++i) {
        const bool last = i + 1 == panelWidths_.size();
        const int width = last ? this->width() - left : panelWidths_[i];
        // Each panel is a sunken field with a two-pixel gap before the next one.
        qDrawShadePanel(&painter, QRect(left, 2, width - 2, height() - 2), palette(), true, 1);
        left += width;
    }
}

} // namespace larkspan
