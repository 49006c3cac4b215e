// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "programrules.h"

QStringList namedDisplays()
{
    QStringList named;
    for (const char *name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            named << QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name);
    }
    return named;
}

QByteArray platformsToTry(bool askedFor, const QByteArray &display,
                          const QByteArray &waylandDisplay, const QByteArray &sessionType)
{
    if (askedFor)
        return QByteArray();
    QByteArrayList platforms;
    if (!display.isEmpty() || !waylandDisplay.isEmpty()) {
        if (!waylandDisplay.isEmpty() || sessionType == "wayland")
            platforms << "wayland";
        if (!display.isEmpty())
            platforms << "xcb";
    }
    platforms << "offscreen";
    return platforms.join(';');
}

Information informationAsked(const QList<QByteArray> &arguments)
{
    if (arguments.size() != 2)
        return Information::None;
    if (arguments.at(1) == "--help")
        return Information::Help;
    if (arguments.at(1) == "--version")
        return Information::Version;
    return Information::None;
}

int exitStatus(std::optional<ListRun::Outcome> outcome, const QByteArray &optIn)
{
    if (optIn != "1")
        return 0;
    if (!outcome)
        return 4;
    switch (*outcome) {
    case ListRun::Outcome::Saved:
        return 0;
    case ListRun::Outcome::Failed:
        return 1;
    case ListRun::Outcome::SaveFailed:
        return 2;
    case ListRun::Outcome::Cancelled:
        return 3;
    }
    return 1;
}
