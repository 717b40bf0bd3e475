#pragma once

// What the probe, prompt and file-field tests share: a shown main window whose tools are the
// real adapters in the build's bin folder, scripted file dialogs, drops of local files, files
// under the test's own temporary folder and a stand-in information tool.

#include "MainWindowFixture.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainWindow.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace larkspan::test {

// A path or text of the core as the widgets hold it.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The build's bin folder, where textract.bin and pdfi.bin are built, with the trailing "/".
inline std::string BuildBinFolder() {
    return std::string(LARKSPAN_BIN_DIR) + "/";
}

// A main window shown and active, with its tools in `programFolder`: the real adapters unless
// a test gives a stand-in's folder.
struct ShownMainWindow {
    explicit ShownMainWindow(const std::string& programFolder = BuildBinFolder())
        : staged(programFolder) {
        ShowActive(&form);
    }

    StagedMainWindow staged;
    TMainForm& form = *staged.form;
};

// Answers the fields' file dialogs from a queue (a path for OK, std::nullopt for Cancel) and
// records every request. A dialog beyond the queue is a failure and answers Cancel; answers
// left unused at the end are a failure too.
class ScriptedFileDialogs {
public:
    ScriptedFileDialogs(std::initializer_list<std::optional<QString>> answers = {})
        : answers_(answers) {
        previous_ = SetFileDialogHook([this](const FileDialogRequest& request) {
            requests_.push_back(request);
            if (answers_.empty()) {
                ADD_FAILURE() << "File dialog without a scripted answer";
                return std::optional<QString>();
            }
            std::optional<QString> answer = answers_.front();
            answers_.pop_front();
            return answer;
        });
    }
    ~ScriptedFileDialogs() {
        SetFileDialogHook(std::move(previous_));
        EXPECT_TRUE(answers_.empty()) << answers_.size() << " file dialog answer(s) unused";
    }
    ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
    ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

    void Answer(std::optional<QString> answer) { answers_.push_back(std::move(answer)); }
    const std::vector<FileDialogRequest>& Requests() const { return requests_; }

private:
    std::deque<std::optional<QString>> answers_;
    std::vector<FileDialogRequest> requests_;
    FileDialogHook previous_;
};

// Drops local files onto a widget the way a drag from a file manager ends, through the
// application object (so an error that escapes the handler reaches its error box). Returns
// whether the widget accepted the drag.
inline bool DropFiles(QWidget* target, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// A fresh folder with its trailing separator, written as the system writes paths (on Windows
// with "\\"), as the fields show the files chosen or dropped.
inline std::string TempFolder(const std::string& prefix) {
    return QDir::toNativeSeparators(QString::fromStdString(testsupport::MakeTempFolder(prefix)) +
                                    QLatin1Char('/'))
        .toStdString();
}

// A stand-in information tool: a "pdfi.bin" in a folder of its own that counts its runs and
// prints `output` (a shell script; on Windows the program of
// support/win32/StandInProgram.cpp). A window whose program folder is Folder() uses it.
class StandInProbeTool {
public:
    explicit StandInProbeTool(const std::string& output) : folder_(TempFolder("standin")) {
        testsupport::WriteFileBytes(folder_ + "output", output);
#ifdef _WIN32
        testsupport::WriteFileBytes(folder_ + "pdfi.bin",
                                    testsupport::ReadFileBytes(testsupport::StandInProgram()));
#else
        testsupport::WriteFileBytes(folder_ + "pdfi.bin", "#!/bin/sh\n"
                                                          "echo run >> '" +
                                                              folder_ +
                                                              "runs'\n"
                                                              "cat '" +
                                                              folder_ + "output'\n");
        QFile::setPermissions(QString::fromStdString(folder_ + "pdfi.bin"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    const std::string& Folder() const {
        return folder_;
    }

    int Runs() const {
        if (!QFile::exists(QString::fromStdString(folder_ + "runs"))) {
            return 0;
        }
        const std::string runs = testsupport::ReadFileBytes(folder_ + "runs");
        return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
    }

private:
    std::string folder_;
};

} // namespace larkspan::test
