// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sourcedirectory.h"

#include "directorywalk.h"
#include "messages.h"

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

bool isSet(const QByteArray &name)
{
#ifdef Q_OS_WIN
    return QProcessEnvironment::systemEnvironment().contains(QString::fromUtf8(name));
#else
    return qEnvironmentVariableIsSet(name.constData());
#endif
}

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QString whyVariableIsEmpty(const QByteArray &name)
{
    const QString shown = QString::fromUtf8(name);
    return isSet(name) ? Message::variableEmpty(shown) : Message::variableNotSet(shown);
}

// Why an argument gave an empty piece; position 1 or 2 of two, 0 when alone.
QString whyArgumentIsEmpty(const QByteArray &argument, int position)
{
    if (!argument.startsWith('%'))
        return Message::argumentEmpty(position);
    const QByteArray name = argument.mid(1).chopped(argument.size() > 1 ? 1 : 0);
    return name.isEmpty() ? Message::namesNoVariable(QString::fromUtf8(argument))
                          : whyVariableIsEmpty(name);
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

QString SourceDirectory::emptyPieceLine() const
{
    if (first.isEmpty() == second.isEmpty())
        return QString();
    return Message::emptyPiece(first.isEmpty(), first.isEmpty() ? whyFirstEmpty : whySecondEmpty,
                               path());
}

QByteArray expandArgument(const QByteArray &argument)
{
    if (!argument.startsWith('%'))
        return argument;
    return variable(argument.mid(1).chopped(argument.size() > 1 ? 1 : 0));
}

std::optional<SourceDirectory> sourceDirectory(const QList<QByteArray> &arguments)
{
    SourceDirectory source;
    switch (arguments.size()) {
    case 1:
        source.first = variable("CC_SERVER_ROOT");
        source.whyFirstEmpty = whyVariableIsEmpty("CC_SERVER_ROOT");
        source.second = variable("CC_SYSTEM");
        source.whySecondEmpty = whyVariableIsEmpty("CC_SYSTEM");
        return source;
    case 2:
        source.first = variable("CC_SERVER_ROOT");
        source.whyFirstEmpty = whyVariableIsEmpty("CC_SERVER_ROOT");
        source.second = expandArgument(arguments.at(1));
        source.whySecondEmpty = whyArgumentIsEmpty(arguments.at(1), 0);
        return source;
    case 3:
        source.first = expandArgument(arguments.at(1));
        source.whyFirstEmpty = whyArgumentIsEmpty(arguments.at(1), 1);
        source.second = expandArgument(arguments.at(2));
        source.whySecondEmpty = whyArgumentIsEmpty(arguments.at(2), 2);
        return source;
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
