// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

class QMessageLogContext;
class QString;

// Libraries below Qt write to standard error by themselves, past Qt's
// logging, while the application starts: fontconfig ("No writable cache
// directories", once per font directory on every run, where the program's
// user can write no font cache), Xlib (the reason an X server refused this
// user), libwayland. Cron would mail that on every run. For as long as this
// object lives, standard error points at /dev/null, and Qt's own messages
// that the logging rules let through (a fatal one among them: a platform the
// caller asked for that cannot start) are put through to the real one.
// Fontconfig is set up meanwhile, before Qt asks it for fonts. One object per
// process, made and destroyed on the main thread.
class QuietStart
{
public:
    QuietStart();
    ~QuietStart();
    QuietStart(const QuietStart &) = delete;
    QuietStart &operator=(const QuietStart &) = delete;

private:
    static void putThrough(QtMsgType type, const QMessageLogContext &context, const QString &text);
};
