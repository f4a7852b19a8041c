// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_binding.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <algorithm>

#include "channels/channel_list_model.h"

namespace velmora {

namespace {

// Radio buttons of one group refuse to be switched off directly; a stored pair of "0" values must
// still leave both unselected.
void SetRadio(QRadioButton* button, bool on) {
    if (on) {
        button->setChecked(true);
    } else if (button->isChecked()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

}  // namespace

int ClientWidthFromSetting(int form) {
    return std::clamp(form, kNarrowestClientWidth, kWidestClientWidth);
}

void SetClientWidth(QWidget* window, int width) {
    window->setFixedWidth(width);
}

void ApplySettings(const Settings& s, const SettingsControls& c) {
    c.ComboBox1->setCurrentIndex(s.channel >= 0 && s.channel < c.ComboBox1->count() ? s.channel
                                                                                    : -1);
    c.TrackBar1->setValue(s.volume);
    c.cbDirectConnection->setChecked(s.proxy);
    c.ed_ProxyServer->setText(s.proxy_ip);
    SetClientWidth(c.window, ClientWidthFromSetting(s.form));
    c.ShowDate1->setChecked(s.show_date);
    c.ShowTime1->setChecked(s.show_time);
    // "Top" first: when both are set, selecting "Bottom" second clears "Top".
    SetRadio(c.RadioButton1, s.item_position_top);
    SetRadio(c.RadioButton2, s.item_position_below);
    *c.LanguageName = s.language;
    c.channels->SetTopRow(s.channel_position);
    *c.BackgroundName = s.background;
    c.Autocheckoff1->setChecked(s.autocheckoff);
}

Settings CollectSettings(const SettingsControls& c) {
    Settings s;
    s.channel = c.ComboBox1->currentIndex();
    s.volume = c.TrackBar1->value();
    s.proxy = c.cbDirectConnection->isChecked();
    s.proxy_ip = c.ed_ProxyServer->text();
    s.form = c.window->width();
    s.show_date = c.ShowDate1->isChecked();
    s.show_time = c.ShowTime1->isChecked();
    s.item_position_top = c.RadioButton1->isChecked();
    s.item_position_below = c.RadioButton2->isChecked();
    s.language = *c.LanguageName;
    s.channel_position = c.channels->TopRow();
    s.background = *c.BackgroundName;
    s.autocheckoff = c.Autocheckoff1->isChecked();
    return s;
}

}  // namespace velmora
