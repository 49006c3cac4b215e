// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sourcedirectory.h"

#include <QDir>

QString SourceDirectory::path() const
{
    return first + QDir::separator() + second;
}

QString expandArgument(const QString &argument)
{
    if (!argument.startsWith(u'%'))
        return argument;
    const QString name = argument.mid(1).chopped(argument.size() > 1 ? 1 : 0);
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

std::optional<SourceDirectory> sourceDirectory(const QStringList &arguments)
{
    switch (arguments.size()) {
    case 1:
        return SourceDirectory{qEnvironmentVariable("CC_SERVER_ROOT"),
                               qEnvironmentVariable("CC_SYSTEM")};
    case 2:
        return SourceDirectory{qEnvironmentVariable("CC_SERVER_ROOT"),
                               expandArgument(arguments.at(1))};
    case 3:
        return SourceDirectory{expandArgument(arguments.at(1)), expandArgument(arguments.at(2))};
    default:
        return std::nullopt;
    }
}
