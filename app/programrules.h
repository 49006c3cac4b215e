// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "listrun.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

// What main decides from its command line and environment, as plain
// functions: the Qt platforms to try, whether only --help or --version is
// asked for, the run's settings and the exit status.

// The displays the caller's environment names and Qt would try, as
// "NAME=VALUE": WAYLAND_DISPLAY, DISPLAY.
QStringList namedDisplays();

// The platforms to try in turn, as QT_QPA_PLATFORM takes them, when the
// caller asked for none (no QT_QPA_PLATFORM, no -platform): the ones Qt would
// choose itself for the displays named (Wayland first where a Wayland session
// or display is named, as Qt does), then "offscreen", which always starts, so
// that a stale or refused display never aborts a run. Without any display:
// "offscreen" alone. Empty when the caller chose, whose choice stands.
// display, waylandDisplay, sessionType: DISPLAY, WAYLAND_DISPLAY and
// XDG_SESSION_TYPE.
QByteArray platformsToTry(bool askedFor, const QByteArray &display,
                          const QByteArray &waylandDisplay, const QByteArray &sessionType);

enum class Information { None, Help, Version };
// A lone argument "--help" or "--version"; arguments holds the program name
// first. Anything else keeps its meaning as a source piece.
Information informationAsked(const QList<QByteArray> &arguments);

// VORN_FILESYNC_LIST_MAX_DELETE: a whole number of entries, or of percent
// followed by "%" (at most 100), in decimal digits alone.
bool parseDeleteLimit(const QByteArray &value, qint64 *limit, bool *percent);

// The guards and the changes file, from VORN_FILESYNC_LIST_ALLOW_EMPTY ("1"
// lets an empty list through; anything else keeps the guard),
// VORN_FILESYNC_LIST_MAX_DELETE, VORN_FILESYNC_LIST_MARKER (a name, without
// a separator) and VORN_FILESYNC_LIST_CHANGES (a file's path); an empty
// variable is an unset one. A value that is not valid gives no settings and
// the line that says why: a guard the administrator asked for and mistyped
// must not let a list through unguarded, so nothing is listed.
std::optional<RunSettings> runSettings(QString *problem);

// The exit status: with the opt-in ("1", exactly) 0 for a saved list, 1 for
// a failed run, 2 for a list that could not be written, 3 for a cancelled run,
// 4 for a wrong argument count (no outcome) and 5 for a list a guard held
// back; 0 always without it.
int exitStatus(std::optional<ListRun::Outcome> outcome, const QByteArray &optIn);
