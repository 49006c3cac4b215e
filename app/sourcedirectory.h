// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The directory to list, as two pieces joined by the native separator:
// CC_SERVER_ROOT and CC_SYSTEM, CC_SERVER_ROOT and one argument, or two
// arguments. The pieces are kept apart so that a run can tell a source that
// was never configured (both empty, leaving the separator alone) from one
// that merely starts or ends with the separator.
struct SourceDirectory {
    QString first;
    QString second;

    QString path() const;
    bool isConfigured() const { return !first.isEmpty() || !second.isEmpty(); }
};

// An argument "%NAME%" stands for the value of the environment variable NAME
// (empty when unset); the first and last characters are dropped whatever the
// last one is. Any other argument stands for itself.
QString expandArgument(const QString &argument);

// arguments holds the program name first. With more than two arguments after
// it there is no source directory.
std::optional<SourceDirectory> sourceDirectory(const QStringList &arguments);
