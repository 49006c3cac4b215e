// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

// What the administrator set for a run beyond its source: the guards that
// hold a new list back, and where the names of what it changes go. The
// program takes them from its environment (app/programrules.h); the run
// itself reads no variable.
struct RunSettings {
    // An empty list may replace a list with entries.
    bool allowEmpty = false;
    // The most entries the new list may leave out of the previous one's;
    // -1: no limit. A percentage of the previous list's entries when
    // maxDeletePercent is set.
    qint64 maxDelete = -1;
    bool maxDeletePercent = false;
    // A name the source's top level must hold, or the run fails; empty: none.
    QByteArray marker;
    // Where the names of what the new list changes go (UTF-8); empty: nowhere.
    QByteArray changesFile;
};
