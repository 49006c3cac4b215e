// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sourcedirectory.h"

#include "directorywalk.h"

#include <QDir>

#ifdef Q_OS_WIN
#include <QProcessEnvironment>
#endif

namespace {

// Windows keeps its environment in UTF-16, names and values alike (and
// qEnvironmentVariable() would take the name as Latin-1); elsewhere a name
// and its value are bytes, read as they are.
QByteArray variable(const QByteArray &name)
{
#ifdef Q_OS_WIN
    return QProcessEnvironment::systemEnvironment().value(QString::fromUtf8(name)).toUtf8();
#else
    return qgetenv(name.constData());
#endif
}

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

QString SourceDirectory::path() const
{
    return QString::fromUtf8(first) + QDir::separator() + QString::fromUtf8(second);
}

bool SourceDirectory::isText() const
{
    return isUtf8(first) && isUtf8(second);
}

QByteArray expandArgument(const QByteArray &argument)
{
    if (!argument.startsWith('%'))
        return argument;
    return variable(argument.mid(1).chopped(argument.size() > 1 ? 1 : 0));
}

std::optional<SourceDirectory> sourceDirectory(const QList<QByteArray> &arguments)
{
    switch (arguments.size()) {
    case 1:
        return SourceDirectory{variable("CC_SERVER_ROOT"), variable("CC_SYSTEM")};
    case 2:
        return SourceDirectory{variable("CC_SERVER_ROOT"), expandArgument(arguments.at(1))};
    case 3:
        return SourceDirectory{expandArgument(arguments.at(1)), expandArgument(arguments.at(2))};
    default:
        return std::nullopt;
    }
}

int walkThreads()
{
    bool ok = false;
    const qint64 threads = qgetenv("VORN_FILESYNC_LIST_THREADS").toLongLong(&ok, 10);
    return ok && threads > 0 ? int(qMin<qint64>(threads, DirectoryWalk::MaxThreads)) : 0;
}
