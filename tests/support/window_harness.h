// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the window tests: the application object, dialogs answered by the test, event
// helpers that click and type like a user, and a recorder of the now-playing labels.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "desktop/dialogs.h"
#include "playback/stream_status_sink.h"

#include "support/qt_test_helpers.h"

namespace velmora::test {

// Answers every box at once and remembers what was shown.
class AnsweringDialogs final : public Dialogs {
  public:
    void Error(QWidget*, const QString& text, const QString&) override { errors << text; }
    void Message(QWidget*, const QString& text, const QString&) override { messages << text; }
    bool AskYesNo(QWidget*, const QString& text, const QString&) override {
        questions << text;
        return answer_yes;
    }
    QString SaveFileName(QWidget*, const QString&, const QString& suggested,
                         const QString&) override {
        suggested_names << suggested;
        return save_file;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return open_file; }
    std::optional<int> AskNumber(QWidget*, const QString& text, int, int, int,
                                 const QString&) override {
        questions << text;
        return number;
    }
    void Beep() override { ++beeps; }

    QStringList errors, messages, questions, suggested_names;
    int beeps = 0;
    // The answers given: No, and cancelled file dialogs, unless a test says otherwise.
    bool answer_yes = false;
    QString save_file, open_file;
    std::optional<int> number;  // typed into a number box; nothing: cancelled
};

// Points HOME and the settings folder ($XDG_CONFIG_HOME/Kestrin/VLR) at a fresh temporary folder
// for the lifetime of the object, so windows that load and save settings, or record into the
// documents folder, touch nothing of the user's.
class SettingsHome {
  public:
    SettingsHome() : old_home_(qgetenv("HOME")), old_config_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("HOME", QFile::encodeName(dir_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    }
    ~SettingsHome() {
        qputenv("HOME", old_home_);
        if (old_config_.isEmpty()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", old_config_);
        }
    }
    SettingsHome(const SettingsHome&) = delete;
    SettingsHome& operator=(const SettingsHome&) = delete;

    QString Root() const { return dir_.path(); }
    QString Documents() const { return dir_.path() + "/Documents"; }
    QString Folder() const { return dir_.path() + "/Kestrin/VLR"; }
    QString SettingsFile() const { return Folder() + "/Config-t.ini"; }
    QString ChannelListFile() const { return Folder() + "/ChannelList.vlr"; }

  private:
    QTemporaryDir dir_;
    QByteArray old_home_, old_config_;
};

inline void ClickAt(QWidget* w, QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    const QPointF local(p);
    const QPointF global(w->mapToGlobal(p));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Closes a window as the user does and lets Qt delete what asked for deferred deletion; true when
// the window agreed to close.
inline bool CloseAndFlush(QWidget* window) {
    const bool closed = window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return closed;
}

inline int RightEdge(const QWidget* w) {
    return w->x() + w->width();
}

inline void Click(QWidget* w) {
    ClickAt(w, w->rect().center());
}

inline void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Opens the drop-down and clicks row `row` in its list, as a user picks a station.
inline void PickRow(QComboBox* combo, int row) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QModelIndex index = combo->model()->index(row, 0);
    view->scrollTo(index);
    const QPoint p = view->visualRect(index).center();
    ClickAt(view->viewport(), p);
    combo->hidePopup();
}

// Snapshots the three now-playing labels just before each status report reaches the window, so
// every intermediate text is seen, however quickly the reports follow one another.
class LabelRecorder final : public QObject {
  public:
    LabelRecorder(QLabel* title, QLabel* status, QLabel* rate)
        : title_(title), status_(status), rate_(rate) {
        qApp->installEventFilter(this);
    }
    ~LabelRecorder() override { qApp->removeEventFilter(this); }

    // Takes one more snapshot of the labels as they stand now.
    void Snapshot() {
        Add(status_texts, status_->text());
        Add(rate_texts, rate_->text());
        Add(title_texts, title_->text());
    }

    QStringList status_texts, rate_texts, title_texts;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MetaCall && qobject_cast<StreamStatusSink*>(watched)) {
            Snapshot();
        }
        return false;
    }

  private:
    static void Add(QStringList& list, const QString& text) {
        if (list.isEmpty() || list.back() != text) list << text;
    }
    QLabel* title_;
    QLabel* status_;
    QLabel* rate_;
};

}  // namespace velmora::test
