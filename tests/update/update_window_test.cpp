// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QTimer>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "i18n/language.h"
#include "support/qt_test_helpers.h"
#include "support/stream_server.h"
#include "support/window_parts.h"
#include "update/self_updater.h"
#include "update/update_test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Answers;

// The main window reports errors and "no update" only after the user asked for a check; "Auto
// check off" stops the automatic check but not the menu command. Without a language of its own
// the check asks for the information file of the shown texts' language, English here.
TEST(UpdateWindowTest, BoxesOnlyAfterAManualCheck) {
    test::EnsureApp();
    test::StreamServer server;
    server.AddBody("/downloads/update/selfupdate_en.cgi", 200, "text/plain", "");  // empty: error
    server.AddError("/downloads/update/selfupdate_de.cgi", 404, "<html>Not Found</html>");
    qputenv("VELMORA_UPDATE_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
    struct Row {
        const char* name;
        const char* settings;
        const char* catalogue;  // the system's language code
        bool manual;
        std::size_t requests;
        int errors, messages;
    };
    const Row rows[] = {
        {"automatic, failing", "Language=English\r\n", "", false, 1, 0, 0},
        {"manual, failing", "Language=English\r\nAutocheckoff=1\r\n", "", true, 1, 1, 0},
        {"auto check off", "Language=English\r\nAutocheckoff=1\r\n", "", false, 0, 0, 0},
        {"manual, 404 page", "Language=German\r\nAutocheckoff=1\r\n", "", true, 1, 0, 1},
        {"manual, no language", "Autocheckoff=1\r\n", "", true, 1, 1, 0},
        {"automatic, en_US", "", "en_US", false, 1, 0, 0},
        {"automatic, de_AT", "", "de_AT", false, 1, 0, 0},
    };
    for (const Row& r : rows) {
        // Each row starts as a new process would: no catalogue applied by the row before.
        SelectCatalogueLanguage(QString::fromLatin1(r.catalogue));
        test::PrivateHome home;
        QDir().mkpath(home.Path() + "/config/Kestrin/VLR");
        test::WriteBytes(home.Path() + "/config/Kestrin/VLR/Config-t.ini",
                         QByteArray("[Default]\r\n") + r.settings);
        Answers answers;
        SetDialogs(&answers);
        const std::size_t before = server.Connections().size();
        MainWindow* form = CreateProgramWindows();
        ASSERT_NE(form, nullptr);
        form->show();
        auto* updater = form->findChild<SelfUpdater*>("SelfUpdater1");
        ASSERT_NE(updater, nullptr);
        updater->SetStartInterval(20);
        if (r.manual) test::CheckForUpdateItem(form)->trigger();
        // Done once the automatic start has come (after the updater's own handler), no check
        // runs and the boxes are in.
        int ticks = 0;
        QObject::connect(updater->StartTimer(), &QTimer::timeout, [&] { ++ticks; });
        const auto boxes = [&] { return answers.errors.size() + answers.messages.size(); };
        test::WaitFor(
            [&] {
                return ticks > 0 && !updater->Checking() &&
                       boxes() == static_cast<qsizetype>(r.errors + r.messages);
            },
            5s);
        EXPECT_FALSE(updater->Checking()) << r.name;
        EXPECT_EQ(server.Connections().size() - before, r.requests) << r.name;
        EXPECT_EQ(answers.errors.size(), r.errors) << r.name;
        EXPECT_EQ(answers.messages.size(), r.messages) << r.name;
        EXPECT_EQ(answers.beeps, r.errors + r.messages) << r.name;
        if (r.messages) {
            EXPECT_EQ(answers.messages.front(), "No update available!");
        }
        if (r.errors) {
            EXPECT_TRUE(answers.errors.front().startsWith("An error has occurred on upgrading!"));
        }
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetDialogs(nullptr);
    }
    qunsetenv("VELMORA_UPDATE_HOST");
}

}  // namespace
}  // namespace velmora
