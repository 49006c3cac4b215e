// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "longpath.h"

#include <QDir>

#include <windows.h>

namespace {

const QString Prefix = QStringLiteral("\\\\?\\");
const QString UncPrefix = QStringLiteral("\\\\?\\UNC\\");

} // namespace

std::wstring longPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(Prefix))
        return native.toStdWString();
    const std::wstring given = native.toStdWString();
    std::wstring full(32768, L'\0');
    const DWORD n = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return given;
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0)
        return UncPrefix.toStdWString() + full.substr(2);
    return Prefix.toStdWString() + full;
}

qsizetype volumeRootSize(const QString &path)
{
    if (path.startsWith(UncPrefix)) {
        const qsizetype server = path.indexOf(u'\\', UncPrefix.size());
        const qsizetype share = server < 0 ? -1 : path.indexOf(u'\\', server + 1);
        return share < 0 ? path.size() : share + 1;
    }
    const qsizetype drive = Prefix.size();
    if (path.startsWith(Prefix) && path.size() > drive + 2 && path.at(drive + 1) == u':'
        && path.at(drive + 2) == u'\\')
        return drive + 3;
    return -1;
}

QString shortPath(const QString &path)
{
    if (path.startsWith(UncPrefix))
        return QStringLiteral("\\\\") + path.mid(UncPrefix.size());
    if (path.startsWith(Prefix))
        return path.mid(Prefix.size());
    return path;
}
