// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Makes a deterministic tree of about `entries` files and directories that
// looks like a published share: several levels deep, 20 to 40 entries a
// directory, mixed-case and some non-ASCII names, a few hidden and excluded
// names, sizes and modification times spread over years (sizes are set by
// truncation, so the files take no disk space). Returns the number made.
qint64 generateTree(const QString &root, qint64 entries, quint32 seed);
