// SPDX-License-Identifier: GPL-3.0-or-later
// The five header backgrounds and the rules of their menu items: the current one carries the
// check mark and is disabled so it cannot be chosen again.
#pragma once

#include <QSize>
#include <QString>
#include <array>
#include <optional>

#include "i18n/message.h"

class QAction;

namespace velmora {

enum class Background { Blue, Vista, Red, Black, Win7 };

struct BackgroundInfo {
    Background id;
    const char* item_name;    // menu item's objectName
    const char* caption;      // menu caption, looked up before display
    const char* stored_name;  // value of the settings key "Background"
    const char* picture;      // the main window's hidden picture holding it
    QSize size;               // size of that picture
};

// In menu order.
inline constexpr std::array<BackgroundInfo, 5> kBackgrounds{{
    {Background::Blue, "Blue1", Translatable("Blue"), "Blue", "Image23", QSize(680, 65)},
    {Background::Vista, "Vista1", Translatable("Vista"), "Vista", "Image22", QSize(575, 65)},
    {Background::Red, "Red1", Translatable("Red"), "Red", "Image24", QSize(575, 65)},
    {Background::Black, "Black1", Translatable("Black"), "Black", "Image25", QSize(575, 65)},
    {Background::Win7, "Win71", Translatable("Win 7"), "Win7", "Image26", QSize(575, 65)},
}};

// The header shows this one before any background is applied.
inline constexpr Background kInitialBackground = Background::Blue;

const BackgroundInfo& InfoOf(Background b);
QString StoredName(Background b);

// The background a stored name applies at start-up: exact, case-sensitive names; an empty name
// counts as Blue; anything else ("blue", "Green") applies none.
std::optional<Background> MatchStoredBackground(const QString& stored_name);

struct BackgroundItemState {
    bool checked = false;
    bool enabled = true;
};
// States of the five items in menu order: `current` marked and disabled, the others unmarked and
// enabled; with no current one, all unmarked and enabled.
std::array<BackgroundItemState, 5> BackgroundItemStates(std::optional<Background> current);
// Applies BackgroundItemStates to the five actions, given in menu order.
void ApplyBackgroundItemStates(const std::array<QAction*, 5>& items,
                               std::optional<Background> current);

}  // namespace velmora
