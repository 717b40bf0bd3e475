#include "extraction/FilenameEdit.h"

#include "shell/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>

namespace larkspan {

namespace {

// Width of the browse button inside the field's right end.
constexpr int BrowseButtonWidth = 20;

} // namespace

TsFilenameEdit::TsFilenameEdit(QWidget* parent)
    : QLineEdit(parent), browseButton_(new QToolButton(this)) {
    // Read-only refuses typing, paste and cut while selecting and copying still work.
    setReadOnly(true);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::PointingHandCursor);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);

    browseButton_->setObjectName(QStringLiteral("BrowseButton"));
    browseButton_->setAutoRaise(true);
    browseButton_->setFocusPolicy(Qt::NoFocus);
    browseButton_->setCursor(Qt::PointingHandCursor);
    browseButton_->setIconSize(QSize(16, 16));
    setTextMargins(0, 0, BrowseButtonWidth, 0);
    connect(browseButton_, &QToolButton::clicked, this, &TsFilenameEdit::browseButtonPressed);
    connect(this, &QLineEdit::textChanged, this, &TsFilenameEdit::changed);
    PlaceBrowseButton();
}

void TsFilenameEdit::SetGlyphs(const QPixmap& normal, const QPixmap& hot) {
    // An auto-raised tool button draws its Active picture while hovered and while held down.
    QIcon glyph;
    glyph.addPixmap(normal, QIcon::Normal);
    glyph.addPixmap(hot, QIcon::Active);
    browseButton_->setIcon(glyph);
}

void TsFilenameEdit::SetHint(const QString& hint) {
    larkspan::SetHint(this, hint, true);
}

QString TsFilenameEdit::Hint() const {
    return HintOf(this);
}

void TsFilenameEdit::ClickBrowseButton() {
    browseButton_->click();
}

void TsFilenameEdit::PlaceBrowseButton() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    browseButton_->setGeometry(width() - frame - BrowseButtonWidth, frame, BrowseButtonWidth,
                               height() - 2 * frame);
}

void TsFilenameEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceBrowseButton();
}

void TsFilenameEdit::mousePressEvent(QMouseEvent* event) {
    pressedInEditArea_ = event->button() == Qt::LeftButton;
    QLineEdit::mousePressEvent(event);
}

void TsFilenameEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressedInEditArea_) {
        pressedInEditArea_ = false;
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
    }
}

void TsFilenameEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier) {
        ClickBrowseButton();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace larkspan
