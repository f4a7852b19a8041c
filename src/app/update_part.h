// SPDX-License-Identifier: GPL-3.0-or-later
// The self-update as the main window offers it: the one updater, the menu's check item and the
// boxes it shows. An automatic check tells only of an update; a check the user asked for also
// tells of none, and of a failure.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;

namespace velmora {

class SelfUpdater;

class UpdatePart final : public QObject {
    Q_OBJECT
  public:
    // `save_before_end` saves what a normal close saves before the program ends for an update;
    // false keeps it running. The updater's boxes stand over `window`, which the end hides.
    UpdatePart(QWidget* window, QAction* check_item, std::function<bool()> save_before_end);

    // At the first showing, after the settings and the language: the information file of the
    // language's `info_path` (none: the shown texts' language), and no automatic check when
    // `auto_check_off`.
    void Apply(const QString& info_path, bool auto_check_off);
    void CheckNow();

  private:
    void OnError();
    void OnNoUpdateAvailable();
    void OnDone();

    QWidget* const window_;
    SelfUpdater* const updater_;  // a child of this part
    bool manual_check_ = false;   // whether the user has asked for a check in this run
};

}  // namespace velmora
