// SPDX-License-Identifier: GPL-3.0-or-later
// The sleep timer's minutes in the header, on the date's row just left of the date (or where the
// date ends while it is hidden), following the date label wherever the clock moves it.
#pragma once

#include <QLabel>

namespace velmora {

class SleepTimerLabel final : public QLabel {
    Q_OBJECT
  public:
    // `date_label` is followed; `style` lends its font and colours (the time label).
    SleepTimerLabel(QLabel* date_label, const QLabel* style, QWidget* parent);

    // Shows "Sleep in N min"; hides the label for 0.
    void ShowMinutes(int minutes);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Place();

    QLabel* const date_label_;
};

}  // namespace velmora
