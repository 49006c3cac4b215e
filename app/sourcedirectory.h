// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The directory to list, as two pieces joined by the native separator:
// CC_SERVER_ROOT and CC_SYSTEM, CC_SERVER_ROOT and one argument, or two
// arguments. The pieces are kept apart so that a run can tell a source that
// was never configured (both empty, leaving the separator alone) from one
// that merely starts or ends with the separator. They hold the bytes they were
// given (UTF-8 text, unless the caller gave something else).
struct SourceDirectory {
    QByteArray first;
    QByteArray second;
    // Why a piece would be empty: the variable that is not set or is empty,
    // or the empty argument.
    QString whyFirstEmpty;
    QString whySecondEmpty;

    QString path() const;
    bool isConfigured() const { return !first.isEmpty() || !second.isEmpty(); }
    // False when a piece is not valid UTF-8: its decoded form, and so path(),
    // would name another directory.
    bool isText() const;
    // When one piece is empty and the other is not, the line that says which
    // and why (cron, say, turns the "%" of "%SYS%" into a line break, and the
    // argument arrives empty); an empty text otherwise.
    QString emptyPieceLine() const;
};

// An argument "%NAME%" stands for the value of the environment variable NAME
// (empty when unset); the first and last bytes are dropped whatever the last
// one is, and the rest is looked up as it stands. Any other argument stands
// for itself.
QByteArray expandArgument(const QByteArray &argument);

// arguments holds the program name first. With more than two arguments after
// it there is no source directory.
std::optional<SourceDirectory> sourceDirectory(const QList<QByteArray> &arguments);

// VORN_FILESYNC_LIST_THREADS when it holds a positive whole number in
// decimal, at most DirectoryWalk::MaxThreads; 0 otherwise: the walk then
// chooses, and takes more threads while the storage makes them wait.
int walkThreads();
