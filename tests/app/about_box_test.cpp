// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "desktop/program_files.h"
#include "i18n/message.h"
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

// In every language each text is shown whole, inside the box, and no two texts or the OK button
// cover each other.
TEST(AboutBox, TextsFitInEveryLanguage) {
    EnsureApp();
    InitMessages(FindProgramFile(QStringLiteral("locale")));
    for (const char* language : {"English", "German", "Russian"}) {
        AboutBox box;
        box.SetLanguageName([language] { return QString::fromLatin1(language); });
        box.show();
        QList<QWidget*> shown;
        for (QLabel* l : box.findChildren<QLabel*>()) {
            if (l->text().isEmpty() || !l->isVisible()) continue;
            const QSize need =
                l->wordWrap() ? QSize(l->width(), l->heightForWidth(l->width())) : l->sizeHint();
            EXPECT_GE(l->width(), need.width()) << language << ": " << l->text().toStdString();
            EXPECT_GE(l->height(), need.height()) << language << ": " << l->text().toStdString();
            shown.append(l);
        }
        shown.append(box.OkButton());
        for (QWidget* a : shown) {
            EXPECT_TRUE(box.rect().contains(a->geometry()))
                << language << ": " << a->objectName().toStdString();
            for (QWidget* b : shown) {
                if (a != b) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << language << ": " << a->objectName().toStdString() << " / "
                        << b->objectName().toStdString();
                }
            }
        }
        box.hide();
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
