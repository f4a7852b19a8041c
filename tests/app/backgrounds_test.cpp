// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/backgrounds.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

// Start-up matching is exact and case-sensitive; empty means Blue; anything else means none.
TEST(Backgrounds, StoredNameMatching) {
    EXPECT_EQ(MatchStoredBackground(""), Background::Blue);
    for (const BackgroundInfo& info : kBackgrounds) {
        EXPECT_EQ(MatchStoredBackground(QString::fromLatin1(info.stored_name)), info.id);
        EXPECT_EQ(StoredName(info.id), QString::fromLatin1(info.stored_name));
    }
    for (const char* other : {"blue", "Green", "Win 7", "WIN7", " Blue", "Blue ", "Red1"}) {
        EXPECT_EQ(MatchStoredBackground(QString::fromLatin1(other)), std::nullopt) << other;
    }
}

// The current background is marked and disabled, the others unmarked and enabled; with none
// current, all five can be chosen.
TEST(Backgrounds, ItemStatesOnRealActions) {
    test::EnsureApp();  // actions belong to a GUI application
    std::array<QAction*, 5> items{};
    std::array<std::unique_ptr<QAction>, 5> owned;
    for (size_t i = 0; i < items.size(); ++i) {
        owned[i] = std::make_unique<QAction>(QString::fromLatin1(kBackgrounds[i].caption));
        items[i] = owned[i].get();
    }
    ApplyBackgroundItemStates(items, Background::Red);
    ApplyBackgroundItemStates(items, Background::Black);
    for (size_t i = 0; i < items.size(); ++i) {
        const bool current = kBackgrounds[i].id == Background::Black;
        EXPECT_EQ(items[i]->isChecked(), current) << i;
        EXPECT_EQ(items[i]->isEnabled(), !current) << i;
    }
    ApplyBackgroundItemStates(items, std::nullopt);
    for (QAction* a : items) {
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->isEnabled());
    }
}

}  // namespace
}  // namespace velmora
