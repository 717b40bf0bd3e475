#include "gui/shell/MessageBox.h"
#include "core/text/GeneralError.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainThread.h"
#include "support/GuiSeams.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef MessageBox // the A/W switch of user32's own, which would rename the tests here
#endif

namespace larkspan {
namespace {

using test::ModalActions;
using test::PressKey;
using test::RealBoxes;

// Shows a real box and lets `action` answer it.
int Answer(MessageButtons buttons, ModalActions::Action action,
           const std::vector<std::string>& withoutTabStop = {},
           const std::string& text = "Proceed?") {
    RealBoxes real;
    ModalActions act(std::move(action));
    return ShowCenteredMessage(text, MessageKind::Confirmation, buttons, withoutTabStop);
}

ModalActions::Action Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return [key, modifiers](QWidget* box) {
        PressKey(box, key, modifiers);
    };
}

ModalActions::Action Click(const char* name) {
    return [name](QWidget* box) {
        auto* button = box->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
    };
}

void CloseBox(QWidget* box) {
    test::CloseThroughCloseBox(box);
}

QPushButton* FocusedButton(QWidget* box) {
    for (QPushButton* button : box->findChildren<QPushButton*>()) {
        if (button->hasFocus()) {
            return button;
        }
    }
    return nullptr;
}

TEST(MessageBox, KeysAndButtonsGiveTheDesignedResults) {
    EXPECT_EQ(Answer(mbOK, Key(Qt::Key_Return)), mrOk);
    EXPECT_EQ(Answer(mbOK, Key(Qt::Key_Escape)), mrOk);
    EXPECT_EQ(Answer(mbOK, Click("OK")), mrOk);
    EXPECT_EQ(Answer(mbOK, CloseBox), mrCancel);

    EXPECT_EQ(Answer(mbOK | mbCancel, Key(Qt::Key_Enter, Qt::KeypadModifier)), mrOk);
    EXPECT_EQ(Answer(mbOK | mbCancel, Key(Qt::Key_Escape)), mrCancel);
    EXPECT_EQ(Answer(mbOK | mbCancel, Click("Cancel")), mrCancel);
    EXPECT_EQ(Answer(mbOK | mbCancel, CloseBox), mrCancel);

    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_Return)), mrYes);
    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_Escape)), mrNo);
    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_Y)), mrYes);
    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_N)), mrNo);
    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_Y, Qt::AltModifier)), mrYes);
    EXPECT_EQ(Answer(mbYes | mbNo, Key(Qt::Key_N, Qt::AltModifier)), mrNo);
    EXPECT_EQ(Answer(mbYes | mbNo, CloseBox), mrCancel);

    // Enter presses the focused button, which need not be the default one.
    EXPECT_EQ(Answer(mbYes | mbNo,
                     [](QWidget* box) {
                         PressKey(box, Qt::Key_Tab);
                         ASSERT_EQ(FocusedButton(box), box->findChild<QPushButton*>("No"));
                         PressKey(box, Qt::Key_Return);
                     }),
              mrNo);
}

TEST(MessageBox, FocusFollowsTabStopAndKeysWorkWithoutIt) {
    // The first button that takes the focus has it when the box opens.
    EXPECT_EQ(Answer(mbYes | mbNo,
                     [](QWidget* box) {
                         EXPECT_EQ(FocusedButton(box), box->findChild<QPushButton*>("Yes"));
                         PressKey(box, Qt::Key_Return);
                     }),
              mrYes);
    EXPECT_EQ(Answer(mbYes | mbNo,
                     [](QWidget* box) {
                         EXPECT_EQ(FocusedButton(box), box->findChild<QPushButton*>("No"));
                         PressKey(box, Qt::Key_Return);
                     },
                     {"Yes"}),
              mrNo);

    // With no button taking the focus, none has it, Tab does not give it to one, and Enter and
    // Esc still press the default and the cancel button.
    const auto noFocusThen = [](Qt::Key key) {
        return [key](QWidget* box) {
            EXPECT_EQ(FocusedButton(box), nullptr);
            PressKey(box, Qt::Key_Tab);
            EXPECT_EQ(FocusedButton(box), nullptr);
            PressKey(box, key);
        };
    };
    EXPECT_EQ(Answer(mbYes | mbNo, noFocusThen(Qt::Key_Return), {"Yes", "No"}), mrYes);
    EXPECT_EQ(Answer(mbYes | mbNo, noFocusThen(Qt::Key_Escape), {"Yes", "No"}), mrNo);
    EXPECT_EQ(Answer(mbOK, noFocusThen(Qt::Key_Return), {"OK"}), mrOk);
}

TEST(MessageBox, CtrlCCopiesTheBoxAsText) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("untouched"));
    QString afterCtrlShiftC;
    QString afterCtrlC;
    EXPECT_EQ(Answer(
                  mbYes | mbNo,
                  [&](QWidget* box) {
                      PressKey(box, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
                      afterCtrlShiftC = clipboard->text();
                      PressKey(box, Qt::Key_C, Qt::ControlModifier);
                      afterCtrlC = clipboard->text();
                      PressKey(box, Qt::Key_Escape);
                  },
                  {}, "Stop the extraction?\r\nThe output file is deleted."),
              mrNo);
    EXPECT_EQ(afterCtrlShiftC, QStringLiteral("untouched"));
    const QString d = QStringLiteral("---------------------------\r\n");
    EXPECT_EQ(afterCtrlC, d + "Confirm\r\n" + d +
                              "Stop the extraction?\r\nThe output file is deleted.\r\n" + d +
                              "Yes   No   \r\n" + d);
}

TEST(MessageBox, BoxHasItsPartsAndIsFreedBeforeTheCallReturns) {
    QPointer<QWidget> seen;
    RealBoxes real;
    ModalActions act([&](QWidget* box) {
        seen = box;
        EXPECT_STREQ(box->metaObject()->className(), "larkspan::TMessageForm");
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Warning"));
        EXPECT_EQ(box->minimumSize(), box->maximumSize()); // fixed size
        const Qt::WindowFlags flags = box->windowFlags();
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(flags & (Qt::WindowContextHelpButtonHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowMaximizeButtonHint));
        auto* image = box->findChild<QLabel*>("Image");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->geometry().size(), QSize(32, 32));
        EXPECT_FALSE(image->pixmap().isNull());
        auto* message = box->findChild<QLabel*>("Message");
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), QStringLiteral("Line one\nLine two"));
        EXPECT_GT(message->x(), image->geometry().right()); // right of the icon, top-aligned
        EXPECT_EQ(message->y(), image->y());
        auto* ok = box->findChild<QPushButton*>("OK");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(box->findChildren<QPushButton*>().size(), 1);
        PressKey(box, Qt::Key_Return);
    });
    EXPECT_EQ(ShowCenteredMessage("Line one\r\nLine two", MessageKind::Warning, mbOK), mrOk);
    EXPECT_EQ(act.Ran(), 1);
    EXPECT_TRUE(seen.isNull());
}

#ifdef _WIN32
TEST(MessageBox, UsesTheSystemsMessageFontAndIsLaidOutFromIt) {
    NONCLIENTMETRICSW system{};
    system.cbSize = sizeof system;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof system, &system, 0));
    const QString family = QString::fromWCharArray(system.lfMessageFont.lfFaceName);
    ASSERT_NE(family, QApplication::font().family()) << "the test cannot tell the fonts apart";
    RealBoxes real;
    ModalActions act([&](QWidget* box) {
        EXPECT_EQ(box->font().family(), family);
        // A face the system names but lacks (wine's Tahoma) gives way to the program's own,
        // not to the toolkit's serif default.
        if (!QFontDatabase::hasFamily(family)) {
            EXPECT_EQ(QFontInfo(box->font()).family(), QFontInfo(QApplication::font()).family());
        }
        EXPECT_EQ(box->font().pixelSize(), std::abs(system.lfMessageFont.lfHeight));
        EXPECT_EQ(static_cast<int>(box->font().weight()),
                  static_cast<int>(system.lfMessageFont.lfWeight));
        // The sizes come from that font: a button is 14/8 of its line height.
        auto* ok = box->findChild<QPushButton*>("OK");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->height(), (14 * QFontMetrics(box->font()).height() + 4) / 8);
        PressKey(box, Qt::Key_Return);
    });
    EXPECT_EQ(ShowCenteredMessage("Proceed?", MessageKind::Information, mbOK), mrOk);
    EXPECT_EQ(act.Ran(), 1);
}
#endif

TEST(MessageBox, IconIsDrawnForTheScreensDensity) {
    const QPixmap icon = MessageIcon(MessageKind::Warning, 1.5, *QApplication::style());
    EXPECT_EQ(icon.size(), QSize(48, 48));
    EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(32, 32));
}

TEST(MessageBox, LongTextWrapsAtHalfTheScreen) {
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    std::string text;
    for (int i = 0; i < 80; ++i) {
        text += "word" + std::to_string(i) + " ";
    }
    RealBoxes real;
    ModalActions act([&](QWidget* box) {
        auto* message = box->findChild<QLabel*>("Message");
        ASSERT_NE(message, nullptr);
        EXPECT_LE(message->width(), screenWidth / 2);
        EXPECT_GT(message->width(), screenWidth / 2 - 60); // filled to the wrap width
        EXPECT_GE(message->height(), 3 * message->fontMetrics().height());
        EXPECT_LE(box->width(), screenWidth / 2 + 32 + 100); // icon, margins and spacing
        PressKey(box, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowCenteredMessage(text, MessageKind::Information, mbOK | mbCancel), mrCancel);
}

TEST(MessageBox, CentredOverTheMainWindowOrElseOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect boxFrame;
    const auto record = [&](QWidget* box) {
        boxFrame = box->frameGeometry();
        PressKey(box, Qt::Key_Return);
    };
    EXPECT_EQ(Answer(mbOK, record), mrOk);
    EXPECT_EQ(boxFrame.left(), (screen.width() - boxFrame.width()) / 2);
    EXPECT_EQ(boxFrame.top(), (screen.height() - boxFrame.height()) / 2);

    QWidget main;
    main.setGeometry(60, 40, 500, 420);
    main.show();
    LarkspanApplication::SetMainWindow(&main);
    // Another active window (the download window, say) does not change where the box goes.
    QWidget other;
    other.setGeometry(400, 300, 200, 100);
    other.show();
    other.activateWindow();
    EXPECT_EQ(Answer(mbOK, record), mrOk);
    const QRect mainFrame = main.frameGeometry();
    EXPECT_EQ(boxFrame.left(), mainFrame.left() + (mainFrame.width() - boxFrame.width()) / 2);
    EXPECT_EQ(boxFrame.top(), mainFrame.top() + (mainFrame.height() - boxFrame.height()) / 2);

    // A main window mostly off the left edge would push the box there; it stops at 0.
    main.setGeometry(-450, 40, 200, 420);
    EXPECT_EQ(Answer(mbOK, record), mrOk);
    EXPECT_EQ(boxFrame.left(), 0);
    LarkspanApplication::SetMainWindow(nullptr);
}

TEST(MessageBox, OwnedByTheActiveWindowSoItGetsNoTaskbarButtonOfItsOwn) {
    QWidget* owner = nullptr;
    QWindow* nativeOwner = nullptr;
    const auto record = [&](QWidget* box) {
        owner = box->parentWidget();
        nativeOwner =
            box->windowHandle() != nullptr ? box->windowHandle()->transientParent() : nullptr;
        EXPECT_TRUE(box->isWindow());
        PressKey(box, Qt::Key_Return);
    };
    // Before any window exists (the second copy's warning) there is nothing to own it.
    EXPECT_EQ(Answer(mbOK, record), mrOk);
    EXPECT_EQ(owner, nullptr);

    QWidget main;
    main.setGeometry(60, 40, 500, 420);
    main.show();
    LarkspanApplication::SetMainWindow(&main);
    QWidget other;
    other.setGeometry(400, 300, 200, 100);
    other.show();
    for (QWidget* active : {&other, &main}) {
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(active));
        EXPECT_EQ(Answer(mbOK, record), mrOk);
        EXPECT_EQ(owner, active);
        EXPECT_EQ(nativeOwner, active->windowHandle());
    }
    // None of the program's windows is active (a system dialog has the focus): the main window.
    QApplication::setActiveWindow(nullptr);
    EXPECT_EQ(Answer(mbOK, record), mrOk);
    EXPECT_EQ(owner, &main);
    LarkspanApplication::SetMainWindow(nullptr);
}

TEST(MainThreadHandOver, RunsOnTheMainThreadAndCarriesResultsAndErrorsBack) {
    // On the main thread the routine runs at once.
    bool ranDirectly = false;
    RunOnMainThread([&] { ranDirectly = true; });
    EXPECT_TRUE(ranDirectly);

    std::atomic<bool> done = false;
    QThread* routineThread = nullptr;
    int value = 0;
    std::string error;
    std::thread worker([&] {
        RunOnMainThread([&] {
            routineThread = QThread::currentThread();
            value = 42;
        });
        try {
            RunOnMainThread([] { throw GeneralError("Cannot open clipboard"); });
        } catch (const GeneralError& e) {
            error = e.what();
        }
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(routineThread, qApp->thread());
    EXPECT_EQ(value, 42);
    EXPECT_EQ(error, "Cannot open clipboard");
}

TEST(MainThreadHandOver, IsServedWhileAMessageBoxIsOpen) {
    std::thread worker;
    std::atomic<bool> answeredBeforeReturn = false;
    std::string error;
    RealBoxes real;
    ModalActions act([&](QWidget* box) {
        QPointer<QWidget> target = box;
        worker = std::thread([&, target] {
            try {
                RunOnMainThread([] { throw GeneralError("first"); });
            } catch (const GeneralError& e) {
                error = e.what();
            }
            // Only the box's modal loop runs on the main thread now; it must serve this.
            RunOnMainThread([target] {
                if (target) {
                    target->findChild<QPushButton*>("No")->click();
                }
            });
            answeredBeforeReturn = true;
        });
    });
    EXPECT_EQ(ShowCenteredMessage("Cancel the download?", MessageKind::Confirmation, mbYes | mbNo,
                                  {"Yes", "No"}),
              mrNo);
    worker.join();
    EXPECT_TRUE(answeredBeforeReturn);
    EXPECT_EQ(error, "first");
}

// A widget whose key handler fails, as an event handler with an unforeseen error does.
class FailingWidget : public QWidget {
public:
    std::string message;
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent*) override {
        ++keys;
        throw GeneralError(message);
    }
};

TEST(LarkspanApplication, ErrorEscapingAHandlerIsShownAndTheLoopGoesOn) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Larkspan"));
    FailingWidget widget;
    widget.setGeometry(10, 10, 100, 100);
    widget.show();
    widget.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));

    QString title;
    QString text;
    bool critical = false;
    {
        RealBoxes real;
        ModalActions act([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            critical = box->icon() == QMessageBox::Critical;
            PressKey(box, Qt::Key_Return);
        });
        widget.message = "'12a' is not a valid integer value";
        PressKey(&widget, Qt::Key_A);
    }
    EXPECT_EQ(title, QStringLiteral("Larkspan"));
    EXPECT_EQ(text, QStringLiteral("'12a' is not a valid integer value."));
    EXPECT_TRUE(critical);

    // The program goes on: the next event is delivered, and a message that ends in "!" gets no
    // full stop.
    test::RecordedUnhandledErrors errors;
    widget.message = "Installer download error!";
    PressKey(&widget, Qt::Key_B);
    QTimer::singleShot(0, [] { throw GeneralError("Failed to get data for 'Version'"); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return errors.Texts().size() == 2; }, 5000));
    EXPECT_EQ(widget.keys, 2);
    // "'" sorts before ".", so that message gets no full stop either.
    EXPECT_EQ(errors.Texts(), (std::vector<std::string>{"Installer download error!",
                                                        "Failed to get data for 'Version'"}));
}

// ---- The seams themselves: what other widget tests rely on ----------------------------------

void TwoBoxesOneAnswer() {
    test::ScriptedMessages scripted{mrYes};
    ShowCenteredMessage("first", MessageKind::Confirmation, mbYes | mbNo);
    EXPECT_EQ(ShowCenteredMessage("second", MessageKind::Warning, mbOK), mrCancel);
}

void ModalThatNeverComes() {
    ModalActions act([](QWidget*) {}, std::chrono::milliseconds(100));
    EXPECT_FALSE(QTest::qWaitFor([] { return false; }, 400));
}

void ActionThatLeavesTheBoxOpen() {
    RealBoxes real;
    ModalActions act([](QWidget*) {}, std::chrono::milliseconds(200));
    EXPECT_EQ(ShowCenteredMessage("stuck", MessageKind::Error, mbOK), mrCancel);
}

TEST(GuiSeams, ScriptedMessagesAnswerInOrderAndRecordEveryRequest) {
    test::ScriptedMessages scripted{mrNo, mrOk};
    EXPECT_EQ(ShowCenteredMessage("a", MessageKind::Confirmation, mbYes | mbNo, {"Yes", "No"}),
              mrNo);
    int fromWorker = 0;
    std::thread worker([&] { fromWorker = ShowCenteredMessage("b", MessageKind::Error, mbOK); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return scripted.Requests().size() == 2; }, 5000));
    worker.join();
    EXPECT_EQ(fromWorker, mrOk);
    ASSERT_EQ(scripted.Requests().size(), 2u);
    EXPECT_EQ(scripted.Requests()[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(scripted.Requests()[0].buttons, mbYes | mbNo);
    EXPECT_EQ(scripted.Requests()[0].buttonsWithoutTabStop,
              (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(scripted.Texts(), (std::vector<std::string>{"a", "b"}));

    EXPECT_NONFATAL_FAILURE(TwoBoxesOneAnswer(), "without a scripted answer (Warning): second");
}

TEST(GuiSeams, UnansweredBoxesFailInsteadOfHanging) {
    EXPECT_NONFATAL_FAILURE(ModalThatNeverComes(), "No modal window appeared");
    EXPECT_NONFATAL_FAILURE(ActionThatLeavesTheBoxOpen(), "\"Error\" still open");
}

TEST(GuiSeams, ShellOpensAreRecordedFromAnyThread) {
    test::RecordedShellOpens opens;
    DesktopPort& desktop = test::TestServices().desktop;
    desktop.Open("http://larkspan.example/");
    std::thread worker([&desktop] { desktop.Open("/tmp/out.txt"); });
    worker.join();
    EXPECT_EQ(opens.Targets(),
              (std::vector<std::string>{"http://larkspan.example/", "/tmp/out.txt"}));
}

} // namespace
} // namespace larkspan
