// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listchanges.h"

#include "directorywalk.h"
#include "fileentry.h"
#include "holdsname.h"
#include "listfile.h"
#include "messages.h"

#include <QDir>

#include <utility>

namespace {

// How many lines of the previous list are read between looks for a cancel.
constexpr qint64 LinesBetweenLooks = 4096;

} // namespace

ListChanges::ListChanges(const RunSettings &settings, const QString &listPath)
    : m_settings(settings), m_listPath(listPath)
{
}

// A share that did not mount leaves an empty directory, or the one below
// the mount point, at the source's path.
bool ListChanges::holdsMarker(const DirectoryReader &source, const QString &sourcePath,
                              QString *heldLine) const
{
    if (m_settings.marker.isEmpty())
        return true;
    bool holds = false;
    SystemError error;
    const QString marker = QString::fromUtf8(m_settings.marker);
    if (!holdsName(source, m_settings.marker, &holds, &error))
        debugLine(Message::cannotStat(sourcePath + QDir::separator() + marker, error.text()));
    if (!holds)
        *heldLine = Message::heldNoMarker(marker);
    return holds;
}

void ListChanges::comparePrevious(const DirectoryReader &source, qint64 previousSize)
{
    m_previousSize = previousSize;
    if (previousSize < 0)
        return;
    PreviousList previous;
    SystemError error;
    if (!previous.open(source, ListFile::Name, &error)) {
        if (error.cause() != SystemError::Cause::Missing) {
            debugLine(Message::countsUnreadable(m_listPath, error.text()));
            m_previousUnknown = true;
        }
        return;
    }
    if (!m_settings.changesFile.isEmpty()) {
        m_changes.emplace(m_settings.changesFile);
        if (!m_changes->create(&error)) {
            debugLine(Message::cannotWriteChanges(changesPath(), error.text()));
            m_changes.reset();
            m_changesTold = true;
        }
    }
    m_diff.emplace(std::move(previous), m_changes ? &*m_changes : nullptr, m_listPath);
}

void ListChanges::add(const FileEntry &entry, QByteArrayView line)
{
    // Most names differ in length from the list's own.
    const QByteArrayView name = entry.utf8Name();
    if (name.size() == qsizetype(sizeof ListFile::Name - 1) && name == ListFile::Name)
        m_ownLine = true;
    if (!m_diff)
        return;
    m_diff->add(entry, line);
    if (m_diff->gaveUp())
        stopComparing();
}

void ListChanges::stopComparing()
{
    debugLine(m_diff->problem());
    m_diff.reset();
    m_changes.reset();
    m_previousUnknown = true;
}

void ListChanges::finish(const DirectoryWalk &walk)
{
    while (m_diff && m_diff->finishSome(LinesBetweenLooks) && !walk.isCancelled()) {
    }
    if (m_diff && m_diff->gaveUp())
        stopComparing();
    if (m_changes && m_changes->failed()) {
        debugLine(Message::cannotWriteChanges(changesPath(), m_changes->error().text()));
        m_changes.reset();
        m_changesTold = true;
    }
}

QString ListChanges::heldBack(qint64 lines) const
{
    const qint64 previous = m_diff ? m_diff->previousEntries() : -1;
    const bool hadEntries = m_diff ? previous > 0 : m_previousUnknown && m_previousSize > 0;
    if (!m_settings.allowEmpty && lines == (m_ownLine ? 1 : 0) && hadEntries)
        return Message::heldEmpty(previous);
    if (!m_diff || m_settings.maxDelete < 0)
        return {};
    const qint64 gone = m_diff->counts().gone;
    if (m_settings.maxDeletePercent ? gone * 100 <= m_settings.maxDelete * previous
                                    : gone <= m_settings.maxDelete)
        return {};
    return Message::heldDeletions(gone, previous,
                                  QString::number(m_settings.maxDelete)
                                          + QLatin1String(m_settings.maxDeletePercent ? "%" : ""));
}

std::optional<ChangeCounts> ListChanges::counts() const
{
    return m_diff ? std::optional<ChangeCounts>(m_diff->counts()) : std::nullopt;
}

// Without counts there is nothing to tell, and an earlier run's changes
// must not pass for this one's: the file goes.
void ListChanges::publish()
{
    if (m_settings.changesFile.isEmpty() || m_changesTold)
        return;
    SystemError error;
    const bool done = m_changes ? m_changes->commit(&error)
                                : ChangesFile(m_settings.changesFile).removeOld(&error);
    if (!done)
        debugLine(Message::cannotWriteChanges(changesPath(), error.text()));
}
