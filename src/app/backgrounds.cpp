// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/backgrounds.h"

#include <QAction>

namespace velmora {

const BackgroundInfo& InfoOf(Background b) {
    return kBackgrounds[static_cast<size_t>(b)];
}

QString StoredName(Background b) {
    return QString::fromLatin1(InfoOf(b).stored_name);
}

std::optional<Background> MatchStoredBackground(const QString& stored_name) {
    if (stored_name.isEmpty()) return Background::Blue;
    for (const BackgroundInfo& info : kBackgrounds) {
        if (stored_name == QLatin1String(info.stored_name)) return info.id;
    }
    return std::nullopt;
}

std::array<BackgroundItemState, 5> BackgroundItemStates(std::optional<Background> current) {
    std::array<BackgroundItemState, 5> states{};
    if (current) {
        states[static_cast<size_t>(*current)] = {.checked = true, .enabled = false};
    }
    return states;
}

void ApplyBackgroundItemStates(const std::array<QAction*, 5>& items,
                               std::optional<Background> current) {
    const auto states = BackgroundItemStates(current);
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->setCheckable(true);
        items[i]->setChecked(states[i].checked);
        items[i]->setEnabled(states[i].enabled);
    }
}

}  // namespace velmora
