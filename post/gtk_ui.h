// SPDX-License-Identifier: MIT
#ifndef CORVID_POST_GTK_UI_H
#define CORVID_POST_GTK_UI_H

#include "run.h"

#include <memory>

namespace post {

// The message boxes as GTK 3 dialogs. Returns nullptr when GTK cannot
// start (no display, or one that refuses the connection), so that the
// caller can fall back on the terminal.
std::unique_ptr<ui> start_gtk_ui();

}  // namespace post

#endif
