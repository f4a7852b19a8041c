// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/browser.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include "support/qt_test_helpers.h"
#include "update/update_test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// Asking the desktop for its browser can take seconds; the window must not wait for it, and the
// registered browser still gets the page.
TEST(BrowserTest, OpeningAPageDoesNotWaitForTheDesktop) {
    test::EnsureApp();
    QTemporaryDir dir;
    const QString marker = dir.path() + "/opened";
    test::WriteBytes(dir.path() + "/xdg-mime", "#!/bin/sh\nsleep 1\necho slowbrowser.desktop\n");
    // Written whole, then renamed: the marker never exists half written.
    test::WriteBytes(dir.path() + "/browser", "#!/bin/sh\necho \"$1\" > '" + marker.toUtf8() +
                                                  ".part' && mv '" + marker.toUtf8() + ".part' '" +
                                                  marker.toUtf8() + "'\n");
    for (const char* program : {"/xdg-mime", "/browser"}) {
        QFile::setPermissions(dir.path() + program, QFile::ReadOwner | QFile::ExeOwner);
    }
    QDir().mkpath(dir.path() + "/data/applications");
    test::WriteBytes(dir.path() + "/data/applications/slowbrowser.desktop",
                     "[Desktop Entry]\nType=Application\nName=Slow\nExec=" + dir.path().toUtf8() +
                         "/browser %u\n");
    const QByteArray path = qgetenv("PATH"), data = qgetenv("XDG_DATA_HOME");
    qputenv("PATH", dir.path().toUtf8() + ":" + path);
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());

    QElapsedTimer clock;
    clock.start();
    OpenUrl("https://www.example.org/page?a=1");
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(test::WaitFor([&] { return QFile::exists(marker); }, 10s));
    QThreadPool::globalInstance()->waitForDone();
    qputenv("PATH", path);
    qputenv("XDG_DATA_HOME", data);
    EXPECT_EQ(test::ReadBytes(marker), "https://www.example.org/page?a=1\n");
}

}  // namespace
}  // namespace velmora
