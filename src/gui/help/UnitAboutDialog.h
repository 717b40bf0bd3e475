#pragma once

// The About window: product name and version, copyright line, the web-site link and a short
// description beside the logo. A click on any of them answers "gotoweb"; the caller decides
// what to open.

#include <QDialog>
#include <string>

class QFrame;
class QPushButton;

namespace larkspan {

class TClickLabel;

class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    // Shown modally over `over` (the main window) and centred on it.
    explicit TAboutDialog(QWidget* over = nullptr);
    ~TAboutDialog() override;

    static constexpr int ClientWidth = 414;
    static constexpr int ClientHeight = 220;

    // Stores the texts shown from the next activation on.
    void SetAboutInfo(const std::string& productName, const std::string& version,
                      const std::string& description, const std::string& linkText);
    // Shows the window modally; returns "gotoweb" when the user clicked one of its texts or the
    // logo, "" otherwise.
    std::string ShowAbout();

    // ---- Controls (object name = member name) ----
    QFrame* sPanel1 = nullptr;
    QFrame* sBevel1 = nullptr;
    TClickLabel* ImageAppLogo = nullptr;
    TClickLabel* sLabelSoftwareName = nullptr;
    TClickLabel* sLabel1 = nullptr;
    TClickLabel* sLabel2 = nullptr;
    TClickLabel* sLabelDescription = nullptr;
    QPushButton* sBitBtnOK = nullptr;

    // ---- Event handlers ----
    void FormCreate();
    void FormActivate();
    void ImageAppLogoClick();
    void sLabelSoftwareNameClick();
    void sLabel1Click();
    void sLabel2Click();
    void sLabelDescriptionClick();
    void sBitBtnOKClick();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void GoToWeb();
};

} // namespace larkspan
