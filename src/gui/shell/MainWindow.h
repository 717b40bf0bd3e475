#pragma once

// The main window and the state the whole program shares with it.

#include "core/extraction/ExtractionJob.h"
#include "core/extraction/InputProbe.h"
#include "core/ports/Services.h"

#include <QMainWindow>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QRadioButton;
class QWidget;

namespace larkspan {

class TClickLabel;
class TGlyphButton;
class TPanelStatusBar;
class TsFilenameEdit;

// What the main window's creation step learns once and never changes afterwards; UTF-8 text,
// empty for "absent". Handed to whoever needs it.
struct Installation {
    std::string appFolder;        // folder of the program and its tools, trailing separator
    std::string installedVersion; // "Version" of the installation record
    std::string websiteUrl;       // "Website" of the installation record
    std::string websiteHost;      // the vendor host (built in, or LARKSPAN_WEBSITE_HOST)
    std::string feedbackMailto;   // "mailto:feedback@" + websiteHost
};

// The vendor host: the environment's override when `overridable` (development and test builds)
// and it is set and not empty, otherwise the host built into the program.
std::string ChooseWebsiteHost(const std::string& builtIn, const std::string& fromEnvironment,
                              bool overridable = true);

// ---- The main window ------------------------------------------------------------------------

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window with every control in its initial state, then runs FormCreate. Everything
    // outside the program is reached through `services`; the ports it refers to must outlive the
    // window and every job it starts.
    explicit TMainForm(const Services& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    const Services& services() const { return services_; }
    const Installation& Setup() const { return installation_; }
    const CurrentDocument& Document() const { return document_; }
    // The one job the program allows at a time; shared with that job's thread.
    const std::shared_ptr<JobControl>& Jobs() const { return jobs_; }

    // True when FormCreate found the installation record incomplete and asked the program to
    // end; the event loop then ends as soon as it runs.
    bool TerminationRequested() const { return terminationRequested_; }

    // Client size of the window below its menu bar.
    static constexpr int ClientWidth = 496;
    static constexpr int ClientHeight = 266;

    // ---- Controls (object name = member name) ----
    QMenuBar* MainMenu1 = nullptr;
    QMenu* FileMenu = nullptr;
    QAction* InputPDF = nullptr;
    QAction* OutputText = nullptr;
    QAction* N1 = nullptr;
    QAction* StartConversion1 = nullptr;
    QAction* N3 = nullptr;
    QAction* Exit = nullptr;
    QMenu* EditMenu = nullptr;
    QAction* AutoSetOutput = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* Website = nullptr;
    QAction* Videotutorial1 = nullptr;
    QAction* Feedback1 = nullptr;
    QAction* N4 = nullptr;
    QAction* GetProVersion1 = nullptr;
    QAction* HowToExtractImages = nullptr;
    QAction* N2 = nullptr;
    QAction* Donate1 = nullptr;
    QAction* About1 = nullptr;

    TPanelStatusBar* sStatusBar1 = nullptr;
    TClickLabel* ImageDonate = nullptr;
    QProgressBar* sGaugeProcess = nullptr;
    TClickLabel* sLabelFXWebpage = nullptr;
    QFrame* Panel1 = nullptr;
    TClickLabel* Image1 = nullptr;
    QFrame* sPanel1 = nullptr;
    TGlyphButton* sBitBtnStart = nullptr;
    TGlyphButton* sBitBtnGetProVersion = nullptr;
    QGroupBox* sGroupBox4 = nullptr;
    TsFilenameEdit* sFilenameEditOutput = nullptr;
    TGlyphButton* sButtonOpenText = nullptr;
    QRadioButton* sRadioButtonFormattedLayout = nullptr;
    QRadioButton* sRadioButtonFormattedRaw = nullptr;
    QCheckBox* sCheckBoxInsertPageBreak = nullptr;
    QCheckBox* sCheckBoxOpenAfter = nullptr;
    QGroupBox* sGroupBox1 = nullptr;
    TsFilenameEdit* sFilenameEditInput = nullptr;
    TGlyphButton* sButtonOpenPDF = nullptr;
    QLabel* sLabel1 = nullptr;
    QLineEdit* sEditPageCount = nullptr;
    QLabel* sLabel2 = nullptr;
    QLineEdit* sEditPageRange = nullptr;
    QLabel* sLabel3 = nullptr;
    TGlyphButton* sBitBtnPlayVideo = nullptr;

    // ---- Event handlers ----
    // Creation and layout.
    void FormCreate();
    void ResizeMainForm();
    // Forwarding handlers and the web site.
    void ClickWebpageFX();
    void WebsiteClick();
    void ExitClick();
    void StartConversion1Click();
    void ImageDonateClick();
    // Start and stop control.
    void sBitBtnStartClick();
    // File fields, their menu items and the view buttons.
    void sFilenameEditInputChange();
    void sFilenameEditInputClick();
    void sFilenameEditInputAfterDialog();
    void sFilenameEditOutputChange();
    void sFilenameEditOutputClick();
    void sFilenameEditOutputAfterDialog();
    void InputPDFClick();
    void OutputTextClick();
    void sButtonOpenPDFClick();
    void sButtonOpenTextClick();
    // Help actions.
    void Feedback1Click();
    void GetProVersion1Click();
    void sBitBtnGetProClick();
    void HowToExtractImagesClick();
    void Videotutorial1Click();
    void sBitBtnPlayVideoClick();
    void Donate1Click();
    void Image1Click();
    void About1Click();

signals:
    // The window is being closed and the program ends with it: it is still shown, and the job
    // that may run has let go of the files it shares with the window.
    void Closing();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateControls();
    void NameControls();
    void SetTabOrder();
    void ConnectHandlers();

public:
    // Asks the program to end: the event loop ends as soon as it runs. Main thread only.
    void RequestTermination();

private:
    // Connections of the handlers that live with their subsystems (MainWindowExtraction.cpp,
    // MainWindowOnline.cpp), made from ConnectHandlers.
    void ConnectExtractionHandlers();
    void ConnectOnlineHandlers();
    // The start/stop button's connection (StartStop.cpp).
    void ConnectStartStopHandlers();
    // The background update and tutorial check, started as the last step of FormCreate.
    void StartBackgroundCheck();
    // Shows an error that a handler expected (a page count that is no number): the box for
    // errors nobody caught, shown here so that nothing unwinds into the event loop.
    void ShowHandlerError(const std::exception& error);

    const Services services_;
    Installation installation_;
    CurrentDocument document_;
    std::shared_ptr<JobControl> jobs_ = std::make_shared<JobControl>();
    bool terminationRequested_ = false;
    bool centredOnce_ = false;
};

} // namespace larkspan
