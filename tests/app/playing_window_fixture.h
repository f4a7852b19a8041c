// SPDX-License-Identifier: GPL-3.0-or-later
// A main window in a home folder of its own, for tests that play, record and route streams: HOME
// and XDG_CONFIG_HOME point at a temporary folder for the whole suite, so the documents folder,
// the settings and the channel list are the test's, never the user's.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <optional>

#include "app/main_window.h"
#include "app/window_harness.h"
#include "channels/channel_list_model.h"
#include "engine/engine.h"
#include "support/test_audio.h"

namespace velmora::test {

class PlayingWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        saved_home_ = qgetenv("HOME");
        saved_config_ = qgetenv("XDG_CONFIG_HOME");
        home_ = new QTemporaryDir;
        ASSERT_TRUE(home_->isValid());
        qputenv("HOME", QFile::encodeName(home_->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->path() + "/.config"));
    }
    static void TearDownTestSuite() {
        qputenv("HOME", saved_home_);
        if (saved_config_.isEmpty()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", saved_config_);
        }
        delete home_;
        home_ = nullptr;
    }

    void SetUp() override {
        EnsureApp();
        // Each test starts without a documents folder and without stored settings.
        QDir(Documents()).removeRecursively();
        QDir(home_->path() + "/.config").removeRecursively();
        SetDialogs(&answers_);
        form_ = new MainWindow;
        ASSERT_TRUE(form_->StartedUp());
        form_->show();
        title_ = Child<QLabel>("Label3");
        station_ = Child<QLabel>("Label4");
        rate_ = Child<QLabel>("Label5");
    }
    void TearDown() override {
        if (form_) CloseAndFlush(form_);
        SetDialogs(nullptr);
    }

    static QString Documents() { return home_->path() + "/Documents"; }

    template <class T>
    T* Child(const char* name) {
        return FindChild<T>(form_, name);
    }

    // Puts the channels into the user list and clicks row `row`, which plays its address.
    void ChooseUserChannel(const std::vector<ChannelEntry>& entries, int row = 0) {
        form_->Channels()->ReplaceAll(entries);
        QListWidget* list = form_->Channels()->View();
        ClickAt(list->viewport(), list->visualItemRect(list->item(row)).center());
    }
    void PlayUserChannel(const std::string& url, const QString& name = "Loopback") {
        ChooseUserChannel({{name, QString::fromStdString(url), {}, {}}});
    }

    bool Playing() const {
        return vle::ChannelIsActive(form_->CurrentStream()) ==
               static_cast<int>(vle::ActiveState::Playing);
    }

    static std::string Mp3(double seconds) {
        SineSpec spec;
        spec.seconds = seconds;
        return EncodeSine(spec);
    }

    AnsweringDialogs answers_;
    MainWindow* form_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* station_ = nullptr;
    QLabel* rate_ = nullptr;

    static inline QTemporaryDir* home_ = nullptr;
    static inline QByteArray saved_home_;
    static inline QByteArray saved_config_;
};

}  // namespace velmora::test
