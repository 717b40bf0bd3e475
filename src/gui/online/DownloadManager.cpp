#include "gui/online/DownloadManager.h"

#include "gui/shell/Centring.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <vector>

namespace larkspan {

namespace {

// Steps of the underlying bar: fine enough that the fill moves smoothly for any maximum.
constexpr int GaugeSteps = 10000;

// A progress bar paints itself whenever its value changes visibly. While one of these lives the
// gauge only takes its value and waits for the window's paced repaint: painting for every piece
// of a fast download would cost more than the transfer.
class DeferredPaint {
public:
    explicit DeferredPaint(QWidget* widget) : widget_(widget) { widget_->setUpdatesEnabled(false); }
    ~DeferredPaint() { widget_->setUpdatesEnabled(true); } // marks the widget for that repaint
    DeferredPaint(const DeferredPaint&) = delete;
    DeferredPaint& operator=(const DeferredPaint&) = delete;

private:
    QWidget* widget_;
};

} // namespace

// ---- TGauge ---------------------------------------------------------------------------------

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
    setRange(0, GaugeSteps);
    setTextVisible(true);
    Apply();
}

void TGauge::SetMaxValue(std::int64_t maximum) {
    maximum_ = std::max<std::int64_t>(maximum, 0);
    progress_ = std::clamp<std::int64_t>(progress_, 0, maximum_);
    Apply();
}

void TGauge::SetProgress(std::int64_t progress) {
    progress_ = std::clamp<std::int64_t>(progress, 0, maximum_);
    Apply();
}

int TGauge::Percent() const {
    if (maximum_ <= 0) {
        return 0;
    }
    // progress_ <= maximum_, so the quotient fits; long double keeps large sizes exact enough
    // for a truncated percentage.
    return static_cast<int>(static_cast<long double>(progress_) * 100 /
                            static_cast<long double>(maximum_));
}

QString TGauge::text() const {
    return QString::number(Percent()) + QLatin1Char('%');
}

void TGauge::Apply() {
    const int steps = maximum_ <= 0
                          ? 0
                          : static_cast<int>(static_cast<long double>(progress_) * GaugeSteps /
                                             static_cast<long double>(maximum_));
    setValue(steps);
    update(); // the text may change although the bar's value did not
}

// ---- TDownloadForm --------------------------------------------------------------------------

TDownloadForm::TDownloadForm(const Services& services, const std::string& websiteHost,
                             QWidget* owner)
    : QDialog(owner), messages_(services.messages),
      transfer_(services.connector, websiteHost, services.files, services.desktop) {
    setObjectName(QStringLiteral("DownloadForm"));
    // A title bar without buttons: the user cannot close the window, only cancel the transfer.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(ProgramFont());
    setFixedSize(ClientWidth, ClientHeight);
    setWindowTitle(QStringLiteral("Download Manager"));

    sPanel1 = new QFrame(this);
    sPanel1->setObjectName(QStringLiteral("sPanel1"));
    sPanel1->setGeometry(0, 0, ClientWidth, ClientHeight);

    sStickyLabelStatus = new QLabel(sPanel1);
    sStickyLabelStatus->setObjectName(QStringLiteral("sStickyLabelStatus"));
    sStickyLabelStatus->setGeometry(21, 20, 58, 13);
    sStickyLabelStatus->setFont(ProgramFont(11, true));
    {
        QPalette colours = sStickyLabelStatus->palette();
        colours.setColor(QPalette::WindowText, Qt::black);
        sStickyLabelStatus->setPalette(colours);
    }
    SetStatus(QStringLiteral("Initializing"));

    sGaugeProgress = new TGauge(sPanel1);
    sGaugeProgress->setObjectName(QStringLiteral("sGaugeProgress"));
    sGaugeProgress->setGeometry(20, 38, 340, 20);
    sGaugeProgress->setAccessibleName(QStringLiteral("Download progress"));
    SetGaugeTextBlack(sGaugeProgress);

    sBitBtnCancel = new QPushButton(QStringLiteral("Cancel"), sPanel1);
    sBitBtnCancel->setObjectName(QStringLiteral("sBitBtnCancel"));
    sBitBtnCancel->setGeometry(150, 70, 80, 25);
    // Enter does not press it: only a deliberate click cancels.
    sBitBtnCancel->setAutoDefault(false);
    sBitBtnCancel->setDefault(false);

    TimerHTTP = new QTimer(this);
    TimerHTTP->setObjectName(QStringLiteral("TimerHTTP"));
    TimerHTTP->setInterval(500);
    // Its first tick must come no earlier than the interval; a coarse timer may fire 5% early.
    TimerHTTP->setTimerType(Qt::PreciseTimer);

    online::TIdHTTP& IdHTTP1 = transfer_.Http();
    IdHTTP1.OnWorkBegin = [this](online::TWorkMode mode, std::int64_t expected) {
        IdHTTP1WorkBegin(mode, expected);
    };
    IdHTTP1.OnWork = [this](online::TWorkMode mode, std::int64_t count) {
        IdHTTP1Work(mode, count);
    };
    IdHTTP1.OnWaiting = [this] {
        IdHTTP1Waiting();
    };

    connect(sBitBtnCancel, &QPushButton::clicked, this, &TDownloadForm::sBitBtnCancelClick);
    connect(TimerHTTP, &QTimer::timeout, this, &TDownloadForm::TimerHTTPTimer);

    FormCreate();
}

TDownloadForm::~TDownloadForm() = default;

void TDownloadForm::FormCreate() {
    sBitBtnCancel->setEnabled(false);
    sGaugeProgress->SetProgress(0);
}

void TDownloadForm::SetStatus(const QString& text) {
    sStickyLabelStatus->setText(text);
    // The label sizes itself to its text from its top-left corner.
    sStickyLabelStatus->adjustSize();
}

void TDownloadForm::PrepareInstallerDownload(const std::string& identifier) {
    transfer_.Prepare(identifier);
    if (!transfer_.Caption().empty()) {
        setWindowTitle(QString::fromStdString(transfer_.Caption()));
    }
    // Started whatever the state: with an unusable answer the first tick closes the window and
    // reports the error. The caller shows the window right after this, before the first tick.
    TimerHTTP->start();
}

int TDownloadForm::ShowDownloadModal() {
    CentreWindow(*this, Position == TPosition::poOwnerFormCenter ? parentWidget() : nullptr);
    exec();
    return transfer_.State();
}

void TDownloadForm::TimerHTTPTimer() {
    TimerHTTP->stop();
    if (transfer_.State() == dsDownloaded) {
        // Cancel answers from the start of the transfer: a server that is slow to answer, or
        // never does, can be given up on as well as one that is slow to send.
        sBitBtnCancel->setEnabled(true);
    }
    transfer_.Transfer();
    if (transfer_.State() != dsDownloaded) {
        sBitBtnCancel->setEnabled(false);
    }
    Close();
}

void TDownloadForm::IdHTTP1WorkBegin(online::TWorkMode /*mode*/, std::int64_t expected) {
    unitBegan_ = online::PacingClock::now();
    {
        const DeferredPaint gauge(sGaugeProgress);
        sGaugeProgress->SetMaxValue(expected);
        sGaugeProgress->SetProgress(0);
    }
    SetStatus(QStringLiteral("Downloading installer"));
    sBitBtnCancel->setEnabled(true);
    ShowProgressIfDue(0);
}

void TDownloadForm::IdHTTP1Work(online::TWorkMode mode, std::int64_t count) {
    if (mode != online::wmRead) {
        return;
    }
    {
        const DeferredPaint gauge(sGaugeProgress);
        sGaugeProgress->SetProgress(count);
    }
    ShowProgressIfDue(count);
}

void TDownloadForm::ShowProgressIfDue(std::int64_t count) {
    const auto now = online::PacingClock::now();
    std::optional<online::PacingClock::duration> sinceRepaint;
    if (lastRepaint_) {
        sinceRepaint = now - *lastRepaint_;
    }
    if (!online::ProgressRepaintDue(sinceRepaint, now - unitBegan_, count,
                                    sGaugeProgress->MaxValue())) {
        return;
    }
    lastRepaint_ = now;
    // The download blocks the main thread; these are the moments the window can repaint and
    // take a click on Cancel.
    QCoreApplication::processEvents();
}

void TDownloadForm::IdHTTP1Waiting() {
    // Called while no byte arrives (and now and then while bytes stream in): the window keeps
    // taking its events, a click on Cancel included, however long the server takes.
    const auto now = online::PacingClock::now();
    if (lastRepaint_ && now - *lastRepaint_ < online::kProgressRepaintInterval) {
        return;
    }
    lastRepaint_ = now;
    QCoreApplication::processEvents();
}

void TDownloadForm::sBitBtnCancelClick() {
    // Runs inside a progress or waiting event of the running download; the transfer waits
    // while the question is open (and that time does not count against the server).
    if (messages_.Show("Are you sure to cancel this download?", MessageKind::Confirmation,
                       mbYes | mbNo, {"Yes", "No"}) == mrYes) {
        // The download ends with an error as soon as the progress event returns, and the partial
        // file is dropped.
        transfer_.Cancel();
    }
    if (transfer_.State() == dsCancelled) {
        Close();
    }
}

void TDownloadForm::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    FormClose();
    done(QDialog::Rejected);
}

void TDownloadForm::FormClose() {
    if (transfer_.State() == dsError) {
        messages_.Show("Installer download error!", MessageKind::Error, mbOK, {"OK"});
    }
}

void TDownloadForm::closeEvent(QCloseEvent* event) {
    // The window has no close box; a close request from the window system is refused, since
    // the download would go on behind a hidden window.
    if (!closed_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TDownloadForm::reject() {
    // Esc must not close the window either: only Cancel ends a download early.
    if (closed_) {
        QDialog::reject();
    }
}

int RunInstallerDownload(TMainForm* owner, const std::string& identifier) {
    TDownloadForm window(owner->services(), owner->Setup().websiteHost, owner);
    window.PrepareInstallerDownload(identifier);
    window.Position = TPosition::poOwnerFormCenter;
    return window.ShowDownloadModal();
}

} // namespace larkspan
