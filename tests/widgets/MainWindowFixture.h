#pragma once

// What the main-window tests share: an installation record staged in a private place, a chosen
// vendor host, and a mouse click delivered like a real one.

#include "gui/shell/MainWindow.h"
#include "support/GuiSeams.h"
#include "support/StagedRecords.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace larkspan::test {

// Sets an environment variable for the life of the object and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value)
        : name_(name), hadValue_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
        if (value) {
            qputenv(name, QByteArray::fromStdString(*value));
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (hadValue_) {
            qputenv(name_, previous_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    bool hadValue_;
    QByteArray previous_;
};

// The installation record of Larkspan in a private place (support/StagedRecords.h) that the
// program reads instead of the system's while the object lives. A value given as nullopt is
// left out.
class StagedRecord {
public:
    StagedRecord(const std::optional<std::string>& version,
                 const std::optional<std::string>& website) {
        if (version) {
            records_.Set("Oxbeck", "Larkspan", "Version", *version);
        }
        if (website) {
            records_.Set("Oxbeck", "Larkspan", "Website", *website);
        }
    }

private:
    testsupport::StagedRecords records_;
};

inline constexpr const char* TestVersion = "1.3";
inline constexpr const char* TestWebsite = "http://site.example/larkspan/";
// A closed loopback port: every main window starts the background check, which must not leave
// the machine.
inline constexpr const char* TestHost = "127.0.0.1:9";

// A main window built on a complete record, with the vendor host fixed for the test and its
// tools in `programFolder`.
struct StagedMainWindow {
    explicit StagedMainWindow(const std::string& programFolder = TestServices().programFolder)
        : form(std::make_unique<TMainForm>(TestServicesIn(programFolder))) {}

    ScopedEnvironment host{"LARKSPAN_WEBSITE_HOST", std::string(TestHost)};
    StagedRecord record{std::string(TestVersion), std::string(TestWebsite)};
    std::unique_ptr<TMainForm> form;
};

template <class T> T* Named(const QObject* root, const char* name) {
    T* found = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

// Shows a window and waits until it is the active window, as a user would find it.
inline void ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }));
}

// A left click in the middle of `widget`, delivered through the window system.
inline void ClickMiddle(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

} // namespace larkspan::test
