// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Every line the program prints, in one place, so that they can be held
// against the README's table of messages. Paths come in as they are to be
// shown; each function only puts the words around them.
namespace Message {

QString sourceIs(const QString &dir);
QString notConfigured();
QString notText(const QString &dir);

QString excluded(const QString &name);
QString missing(const QString &path);
QString cannotRead(const QString &dir, const QString &reason);
QString cannotStat(const QString &path, const QString &reason);
QString lineBreak(const QString &dir);
QString nameNotText(const QString &dir);
QString leadsBack(const QString &link, const QString &target);
QString outOfMemory(const QString &dir);
QString internalError(const QString &dir, const QString &what);

QString cannotWrite(const QString &file, const QString &reason);
QString cannotReplace(const QString &file, const QString &reason);
QString cannotSync(const QString &dir, const QString &reason);
QString waiting(const QString &dir);
QString cannotLock(const QString &dir, const QString &reason);
QString cancelled();

} // namespace Message

// Prints one of the program's lines to the debug output, as it is: never
// taken as a format.
void debugLine(const QString &text);
