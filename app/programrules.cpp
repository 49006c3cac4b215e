// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "programrules.h"

#include "messages.h"

#include <algorithm>

namespace {

// Paths and names as the bytes they were given; on Windows the environment
// is UTF-16 text.
QByteArray variable(const char *name)
{
#ifdef Q_OS_WIN
    return qEnvironmentVariable(name).toUtf8();
#else
    return qgetenv(name);
#endif
}

bool isSeparator(char c)
{
#ifdef Q_OS_WIN
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// The last component of a path names a file, not a directory by its form.
bool namesFile(const QByteArray &path)
{
    qsizetype start = path.size();
    while (start > 0 && !isSeparator(path.at(start - 1)))
        --start;
    const QByteArray name = path.mid(start);
    return !name.isEmpty() && name != "." && name != "..";
}

QString assignment(const char *name, const QByteArray &value)
{
    return QLatin1String(name) + u'=' + QString::fromUtf8(value);
}

} // namespace

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

bool parseDeleteLimit(const QByteArray &value, qint64 *limit, bool *percent)
{
    *percent = value.endsWith('%');
    const QByteArray digits = *percent ? value.chopped(1) : value;
    // Beyond 18 digits a count would not fit; no tree holds that many.
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
    }
    *limit = digits.toLongLong();
    return !*percent || *limit <= 100;
}

std::optional<RunSettings> runSettings(QString *problem)
{
    RunSettings settings;
    settings.allowEmpty = qgetenv("VORN_FILESYNC_LIST_ALLOW_EMPTY") == "1";
    const QByteArray limit = variable("VORN_FILESYNC_LIST_MAX_DELETE");
    if (!limit.isEmpty()
        && !parseDeleteLimit(limit, &settings.maxDelete, &settings.maxDeletePercent)) {
        *problem = Message::badDeleteLimit(assignment("VORN_FILESYNC_LIST_MAX_DELETE", limit));
        return std::nullopt;
    }
    settings.marker = variable("VORN_FILESYNC_LIST_MARKER");
    if (!settings.marker.isEmpty()
        && (!namesFile(settings.marker) || std::any_of(settings.marker.begin(),
                                                       settings.marker.end(), isSeparator))) {
        *problem = Message::badMarker(assignment("VORN_FILESYNC_LIST_MARKER", settings.marker));
        return std::nullopt;
    }
    settings.changesFile = variable("VORN_FILESYNC_LIST_CHANGES");
    if (!settings.changesFile.isEmpty() && !namesFile(settings.changesFile)) {
        *problem = Message::badChangesFile(
                assignment("VORN_FILESYNC_LIST_CHANGES", settings.changesFile));
        return std::nullopt;
    }
    return settings;
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
    case ListRun::Outcome::HeldBack:
        return 5;
    }
    return 1;
}
