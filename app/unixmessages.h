// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Each message goes to standard error as Qt's own handler would write it (its
// category first, unless it is the default one; then the text and a line
// break, in UTF-8, the local 8-bit encoding on Unix), but without allocating
// anything: when memory runs out, the lines that tell how the run went must
// still come out, and Qt's handler would end the process instead.
void installUnixMessageHandler();
