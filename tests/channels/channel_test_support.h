// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the channel tests: a widget application, and dialogs answered by the test.
#pragma once

#include <QApplication>
#include <QStringList>

#include <deque>
#include <ostream>

#include "channels/channel_file.h"
#include "desktop/dialogs.h"

// Readable failure output for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace velmora {
inline void PrintTo(const ChannelEntry& e, std::ostream* os) {
    *os << FormatChannelLine(e).toStdString();
}
}  // namespace velmora

namespace velmora::testing {

// The application the widget tests need, created once.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "channels_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit, Qt's own globals may already be gone.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Records every message and question and answers from queued replies; installed while it lives.
class AnsweringDialogs final : public Dialogs {
  public:
    AnsweringDialogs() { SetDialogs(this); }
    ~AnsweringDialogs() override { SetDialogs(nullptr); }

    void Error(QWidget*, const QString& text, const QString&) override { errors.append(text); }
    void Message(QWidget*, const QString& text, const QString&) override { errors.append(text); }
    bool AskYesNo(QWidget*, const QString& text, const QString&) override {
        questions.append(text);
        if (yes_no.empty()) return false;
        const bool answer = yes_no.front();
        yes_no.pop_front();
        return answer;
    }
    QString SaveFileName(QWidget*, const QString&, const QString& suggested,
                         const QString& filter) override {
        suggested_names.append(suggested);
        filters.append(filter);
        return file_name;
    }
    QString OpenFileName(QWidget*, const QString&, const QString& filter) override {
        filters.append(filter);
        return file_name;
    }
    void Beep() override { ++beeps; }

    // Replies.
    std::deque<bool> yes_no;
    QString file_name;  // what either file dialog returns; empty means cancelled
    // What was shown.
    QStringList errors;
    QStringList questions;
    QStringList suggested_names;
    QStringList filters;
    int beeps = 0;
};

}  // namespace velmora::testing
