// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// The exit question of the program, as a message box: true for Yes. Answers the
// progress store could not keep are tried once more first, and those it still cannot
// keep are named, with an offer to save them elsewhere.
bool askExitQuestion(QWidget *parent);
