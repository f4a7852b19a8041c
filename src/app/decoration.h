// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures that only decorate the window (the header, the logo, the analyser's bezel): screen
// readers are told they are not there, so that they do not announce unnamed images.
#pragma once

class QLabel;

namespace velmora {

// Before the label is first shown or asked for by an assistive technology.
void MarkAsDecoration(QLabel* label);

}  // namespace velmora
