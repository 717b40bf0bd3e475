// What assistive technology is told about every window, read through Qt's accessibility
// interfaces (what the screen-reader bridges send on), and how the keyboard walks each window.
// tests/e2e/accessibility.sh checks the same over the real accessibility bus.

#include "gui/extraction/PasswordInputQuery.h"
#include "gui/help/UnitAboutDialog.h"
#include "gui/online/DownloadManager.h"
#include "gui/shell/Controls.h"
#include "widgets/MainWindowFixture.h"

#include <QAccessible>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace larkspan::test {
namespace {

QString Name(QAccessibleInterface* node) {
    return node->text(QAccessible::Name);
}

// Controls a person acts on or reads; containers and separators need no name.
bool Informative(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::StaticText:
    case QAccessible::Graphic:
    case QAccessible::ProgressBar:
    case QAccessible::Link:
    case QAccessible::MenuItem:
    case QAccessible::Dialog:
    case QAccessible::AlertMessage:
    case QAccessible::Window:
        return true;
    default:
        return false;
    }
}

// "Page Count:" on a label and "Page Count" on its field say the same to a listener.
QString Spoken(const QString& name) {
    QString spoken = name.trimmed().toCaseFolded();
    while (spoken.endsWith(QLatin1Char(':'))) {
        spoken.chop(1);
    }
    return spoken;
}

bool Labels(QAccessibleInterface* label, QAccessibleInterface* control) {
    for (const auto& [other, relation] : control->relations(QAccessible::Label)) {
        if (other->object() == label->object()) {
            return true;
        }
    }
    return false;
}

std::string Describe(QAccessibleInterface* node) {
    return node->object()->objectName().toStdString() + " (role " + std::to_string(node->role()) +
           ")";
}

// Every focusable or informative control without a name, and every two siblings that sound
// alike (a label and the control it names excepted), under `node`.
void CollectNameProblems(QAccessibleInterface* node, std::vector<std::string>& problems) {
    if ((node->state().focusable || Informative(node->role())) && Name(node).trimmed().isEmpty()) {
        problems.push_back(Describe(node) + " has no name");
    }
    const int count = node->childCount();
    for (int i = 0; i < count; ++i) {
        QAccessibleInterface* child = node->child(i);
        CollectNameProblems(child, problems);
        for (int j = 0; j < i; ++j) {
            QAccessibleInterface* earlier = node->child(j);
            if (!Name(child).trimmed().isEmpty() && Spoken(Name(child)) == Spoken(Name(earlier)) &&
                !Labels(child, earlier) && !Labels(earlier, child)) {
                problems.push_back(Describe(earlier) + " and " + Describe(child) +
                                   " are both called '" + Name(child).toStdString() + "'");
            }
        }
    }
}

QImage Look(QWidget* widget) {
    return widget->grab().toImage();
}

// Presses Tab from the focused control until the focus comes back to it; returns the names
// announced on the way, from the focused control on. Each control must look different with
// the focus than without it, from the moment the window opened (no key pressed before).
std::vector<std::string> WalkTabs(QWidget* window) {
    std::vector<std::string> names;
    QWidget* const first = QApplication::focusWidget();
    if (first == nullptr || first->window() != window) {
        ADD_FAILURE() << "no control of " << window->objectName().toStdString() << " has the focus";
        return names;
    }
    QWidget* focused = first;
    for (int step = 0; step < 40; ++step) {
        names.push_back(Name(QAccessible::queryAccessibleInterface(focused)).toStdString());
        const QImage withFocus = Look(focused);
        PressKey(window, Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        if (next == focused) { // the only stop: seen without the focus once it is taken away
            focused->clearFocus();
        }
        EXPECT_NE(Look(focused), withFocus)
            << "no focus mark on " << focused->objectName().toStdString();
        if (next == first || next == focused || next == nullptr) {
            EXPECT_EQ(next, first) << "Tab stopped at " << names.back();
            return names;
        }
        focused = next;
    }
    ADD_FAILURE() << "Tab never came back to " << names.front();
    return names;
}

// Checks the names in `window` and walks its tab chain; returns the names walked.
std::vector<std::string> CheckWindow(QWidget* window) {
    std::vector<std::string> problems;
    CollectNameProblems(QAccessible::queryAccessibleInterface(window), problems);
    EXPECT_EQ(problems, std::vector<std::string>{}) << window->objectName().toStdString();
    return WalkTabs(window);
}

using Names = std::vector<std::string>;

TEST(Accessibility, EveryWindowNamesItsControlsAndTabShowsTheFocusInReadingOrder) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    form.sBitBtnPlayVideo->setVisible(true);
    ShowActive(&form);
    // The window opens with the start button focused; the walk goes on in reading order.
    EXPECT_EQ(CheckWindow(&form),
              (Names{"Start extraction", "Donate", TestHost, "I like it!", "Input PDF File",
                     "Choose input PDF file", "View selected PDF file", "Page Count", "Page Range",
                     "Play Video Tutorial", "Output Text File", "Choose output text file",
                     "View extracted text file", "Layout", "Insert Page Breaks",
                     "Open After Extraction", "Start Pro version"}));
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(form.sEditPageRange)->text(QAccessible::Description),
        QStringLiteral("Example: 1-5 (leave it blank for all)"));

    Names about;
    {
        ModalActions drive([&](QWidget* window) {
            about = CheckWindow(window);
            PressKey(window, Qt::Key_Escape);
        });
        form.About1->trigger();
    }
    EXPECT_EQ(about, (Names{"OK", "http://" + std::string(TestHost) + "/"}));

    Names prompt;
    {
        ModalActions drive([&](QWidget* window) {
            prompt = CheckWindow(window);
            PressKey(window, Qt::Key_Escape);
        });
        QString value;
        TMyInputQuery query;
        query.Execute(
            QStringLiteral("Password needed"),
            QStringLiteral("This PDF is password protected! Please enter the password:\r\n"),
            value);
    }
    EXPECT_EQ(prompt, (Names{"This PDF is password protected! Please enter the password:", "OK",
                             "Cancel"}));

    Names box;
    {
        RealBoxes real;
        ModalActions drive([&](QWidget* window) {
            box = CheckWindow(window);
            PressKey(window, Qt::Key_Escape);
        });
        ShowCenteredMessage("Replace it?", MessageKind::Confirmation, mbYes | mbNo);
    }
    EXPECT_EQ(box, (Names{"Yes", "No"}));

    // While the transfer runs, Cancel is the one stop.
    TDownloadForm download(TestServices(), TestHost, &form);
    ShowActive(&download);
    download.IdHTTP1WorkBegin(online::wmRead, 100);
    download.sBitBtnCancel->setFocus();
    EXPECT_EQ(CheckWindow(&download), Names{"Cancel"});
    EXPECT_EQ(Name(QAccessible::queryAccessibleInterface(download.sGaugeProgress)),
              QStringLiteral("Download progress"));
}

TEST(Accessibility, MessageBoxIsAnAlertThatCarriesItsText) {
    RealBoxes real;
    bool checked = false;
    ModalActions drive([&](QWidget* box) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(box);
        EXPECT_EQ(node->role(), QAccessible::AlertMessage);
        EXPECT_EQ(Name(node), QStringLiteral("Warning"));
        EXPECT_EQ(node->text(QAccessible::Description),
                  QStringLiteral("Please specify\nthe input PDF file!"));
        checked = true;
        PressKey(box, Qt::Key_Return);
    });
    ShowCenteredMessage("Please specify\r\nthe input PDF file!", MessageKind::Warning, mbOK);
    EXPECT_TRUE(checked);
}

TEST(Accessibility, PicturesAndTheWebsiteLabelArePressedByKeysAndByAssistiveTechnology) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    RecordedShellOpens opens;
    form.sLabelFXWebpage->setFocus(Qt::TabFocusReason);
    PressKey(&form, Qt::Key_Return);
    form.Image1->setFocus(Qt::TabFocusReason);
    PressKey(&form, Qt::Key_Space);
    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(form.Image1);
    EXPECT_EQ(picture->role(), QAccessible::Link);
    picture->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(opens.Targets(),
              (std::vector<std::string>{TestWebsite, std::string(TestWebsite) + "?social=fb",
                                        std::string(TestWebsite) + "?social=fb"}));
    // The donation badge asks first, as Help > Donate does.
    ScriptedMessages boxes({mrCancel});
    form.ImageDonate->setFocus(Qt::TabFocusReason);
    PressKey(&form, Qt::Key_Space);
    EXPECT_EQ(boxes.Requests().size(), 1u);
}

} // namespace
} // namespace larkspan::test
