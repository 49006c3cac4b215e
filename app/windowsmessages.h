// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A GUI program on Windows has no console, and Qt's own handler sends its
// messages to the debugger only. Scripts read the program's lines from a
// redirected standard error, so each message goes there as its exact text and
// a line break when a standard error handle is attached, and to the debugger
// otherwise.
void installWindowsMessageHandler();
