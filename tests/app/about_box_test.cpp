// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "support/qt_test_helpers.h"
#include "support/window_harness.h"
#include "support/window_parts.h"

namespace velmora {
namespace {

using test::EnsureApp;

QPixmap Solid(QColor c) {
    QPixmap p(575, 65);
    p.fill(c);
    return p;
}

// Each showing carries the header passed in; a click on the background, on the header, on a
// text or on OK closes the box.
TEST(AboutBox, ShowsCurrentHeaderAndClosesOnAnyClick) {
    EnsureApp();
    AboutBox box;
    EXPECT_EQ(box.objectName(), "AboutBox");
    EXPECT_EQ(box.size(), QSize(369, 266));
    EXPECT_EQ(box.Picture()->geometry(), QRect(0, 0, 425, 57));
    EXPECT_EQ(box.OkButton()->geometry(), QRect(280, 232, 75, 25));

    const struct {
        QColor header;
        std::function<void()> click;
    } showings[] = {
        {Qt::blue, [&] { test::ClickAt(&box, QPoint(20, 150)); }},
        {Qt::black, [&] { test::ClickAt(box.Picture(), QPoint(5, 5)); }},
        {Qt::red, [&] { box.OkButton()->click(); }},
        {Qt::green, [&] { test::ClickAt(test::CopyrightLabel(&box), QPoint(2, 2)); }},
    };
    for (const auto& s : showings) {
        QColor seen;
        QTimer::singleShot(0, &box, [&] {
            seen = box.Picture()->pixmap().toImage().pixelColor(10, 10);
            s.click();
        });
        // Guard against a click that fails to close: the test fails instead of hanging.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &box, &QDialog::reject);
        guard.start(5000);
        EXPECT_EQ(box.ShowWithHeader(Solid(s.header)), QDialog::Accepted);
        EXPECT_EQ(seen, s.header);
    }
}

// The licence the program is under, not a private-use notice that contradicts it.
TEST(AboutBox, StatesTheLicence) {
    EnsureApp();
    AboutBox box;
    const QString terms = box.findChild<QLabel*>("Label2")->text();
    EXPECT_TRUE(terms.contains("GNU GPL, version 3 or later")) << terms.toStdString();
    EXPECT_FALSE(terms.contains("private")) << terms.toStdString();
}

}  // namespace
}  // namespace velmora
