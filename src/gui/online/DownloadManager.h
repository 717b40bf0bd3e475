#pragma once

// The installer download window: asks the vendor server for a product's installer, downloads it
// with a progress gauge, saves it as "Setup.exe" in the temporary folder, hands it to the
// desktop shell and closes. Runs on the main thread; the caller learns the outcome as the
// window's download state.

#include "core/online/DownloadTransfer.h"
#include "core/online/ProgressPacing.h"
#include "core/ports/Services.h"

#include <QDialog>
#include <QProgressBar>

#include <cstdint>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace larkspan {

enum class TPosition { poDesktopCenter, poOwnerFormCenter };

// A progress gauge with a 64-bit maximum that shows its value as a truncated whole percentage
// followed by "%". The value is held between 0 and the maximum; a maximum of 0 shows 0 (not
// the busy indicator a plain progress bar shows).
class TGauge : public QProgressBar {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    void SetMaxValue(std::int64_t maximum);
    std::int64_t MaxValue() const { return maximum_; }
    void SetProgress(std::int64_t progress);
    std::int64_t Progress() const { return progress_; }
    int Percent() const;

    QString text() const override;

private:
    void Apply();

    std::int64_t maximum_ = 100;
    std::int64_t progress_ = 0;
};

class TDownloadForm : public QDialog {
    Q_OBJECT
public:
    // Created hidden, with the main window as owner: Cancel disabled, gauge 0, caption
    // "Download Manager", status "Initializing". The transfer asks `websiteHost` and reaches the
    // outside world through `services`.
    TDownloadForm(const Services& services, const std::string& websiteHost,
                  QWidget* owner = nullptr);
    ~TDownloadForm() override;

    static constexpr int ClientWidth = 382;
    static constexpr int ClientHeight = 106;

    // Asks the vendor server for the installer of `identifier` (DownloadTransfer::Prepare), puts
    // the product's name in the caption and starts the 500 ms timer that begins the download once
    // the window shows. An unusable answer closes the window with an error at the first tick; a
    // failed request throws the client's error, and the window must then not be shown.
    void PrepareInstallerDownload(const std::string& identifier);

    // Shows the window modally and returns its download state once it has closed.
    int ShowDownloadModal();

    // Where ShowDownloadModal places the window: centred on the desktop (the default) or
    // over its owner.
    TPosition Position = TPosition::poDesktopCenter;

    // The window's own transfer and state. Each window keeps its own, so that an update offer
    // that arrives while another download window is transferring cannot disturb it.
    DownloadTransfer& Transfer() { return transfer_; }
    int DownloadState() const { return transfer_.State(); }

    // ---- Controls (object name = member name) ----
    QFrame* sPanel1 = nullptr;
    QLabel* sStickyLabelStatus = nullptr;
    TGauge* sGaugeProgress = nullptr;
    QPushButton* sBitBtnCancel = nullptr;
    QTimer* TimerHTTP = nullptr;

    // ---- Event handlers ----
    void FormCreate();
    void FormClose();
    void TimerHTTPTimer();
    void IdHTTP1WorkBegin(online::TWorkMode mode, std::int64_t expected);
    void IdHTTP1Work(online::TWorkMode mode, std::int64_t count);
    void IdHTTP1Waiting();
    void sBitBtnCancelClick();

    // Closes the window: FormClose, then hidden, and the modal loop ends. Only the first call
    // counts.
    void Close();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void SetStatus(const QString& text);
    void ShowProgressIfDue(std::int64_t count);

    MessagePort& messages_;
    DownloadTransfer transfer_;
    bool closed_ = false;
    // When the window last repainted during the transfer, and when the current unit began.
    std::optional<online::PacingClock::time_point> lastRepaint_;
    online::PacingClock::time_point unitBegan_;
};

class TMainForm;

// A download window for `identifier`, centred over the main window `owner`, shown modally and
// freed again (the update offer, "Start Pro version"). Returns its download state; a failed
// installer-information request propagates, and then no window is shown.
int RunInstallerDownload(TMainForm* owner, const std::string& identifier);

} // namespace larkspan
