// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box, question, file dialog and beep of the program goes through this interface, so
// tests can answer them instead of a person. The default implementation shows Qt dialogs.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace velmora {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Error box with one OK button. An empty caption uses the application's title.
    virtual void Error(QWidget* owner, const QString& text, const QString& caption = {}) = 0;
    // Plain box with one OK button and no icon (engine errors).
    virtual void Message(QWidget* owner, const QString& text, const QString& caption = {}) = 0;
    // Information box with one OK button; where a test does not answer it, it is recorded as a
    // plain message.
    virtual void Information(QWidget* owner, const QString& text, const QString& caption = {}) {
        Message(owner, text, caption);
    }
    // Information box with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& caption = {}) = 0;
    // A whole number from `min` to `max`, offered as `value`; nothing when cancelled. Where a test
    // does not answer it, it counts as cancelled.
    virtual std::optional<int> AskNumber(QWidget* owner, const QString& text, int value, int min,
                                         int max, const QString& caption = {}) {
        (void)owner, (void)text, (void)value, (void)min, (void)max, (void)caption;
        return std::nullopt;
    }
    // File dialogs; an empty result means cancelled.
    virtual QString SaveFileName(QWidget* owner, const QString& caption, const QString& suggested,
                                 const QString& filter) = 0;
    virtual QString OpenFileName(QWidget* owner, const QString& caption, const QString& filter) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
};

// The dialogs in use; Qt's unless a test installed its own.
Dialogs& dialogs();
// Installs `d` (not owned); nullptr restores Qt's dialogs.
void SetDialogs(Dialogs* d);

}  // namespace velmora
