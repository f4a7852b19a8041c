// SPDX-License-Identifier: GPL-3.0-or-later
// The copy function of the title label Label3: over a title the cursor becomes a hand and the
// hint says "Copy" (or shows a long title in full); a click, or Enter or the copy key while it has
// the focus, puts the text on the clipboard.
#pragma once

#include <QObject>

class QLabel;

namespace velmora {

class TitleLabelCopy final : public QObject {
    Q_OBJECT
  public:
    // Watches `label`, whose child it becomes.
    explicit TitleLabelCopy(QLabel* label);

    void RefreshHint();
    // Copies the label's text as plain text, an empty text too.
    void Copy();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* const label_;
};

}  // namespace velmora
