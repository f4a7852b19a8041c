// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser as the main window shows it: while a stream sounds, a frame on the window's timer
// until the view has a window of its own, then frames from the pump's thread in the same rhythm.
// The last frame stays shown when the sound stops; before the first, the placeholder line shows.
#pragma once

#include <QObject>

#include "widgets/analyser_pump.h"
#include "widgets/spectrum_painter.h"

class QLabel;
class QTimer;
class QWidget;

namespace velmora {

class AnalyserView;

class AnalyserPart final : public QObject {
    Q_OBJECT
  public:
    // `source` is read on the timer's thread and on the pump's; `window`'s palette colours the
    // bars.
    AnalyserPart(QWidget* window, AnalyserView* view, QLabel* placeholder, QTimer* timer,
                 AnalyserPump::Source source);
    // Stops the pump's thread, which reads from the source.
    ~AnalyserPart() override;

    // Start keeps a running rhythm; Stop returns once no frame is being drawn.
    void Start();
    void Stop();
    // The window's colours changed: also while the thread draws, under the view's frame lock.
    void FollowPalette();

  private:
    void OnTimer();

    QWidget* const window_;
    AnalyserView* const view_;
    QLabel* const placeholder_;
    QTimer* const timer_;
    AnalyserPump::Source source_;
    SpectrumPainter spectrum_;
    AnalyserPump pump_;
};

}  // namespace velmora
