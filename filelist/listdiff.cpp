// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listdiff.h"

#include "changesfile.h"
#include "fileentry.h"
#include "listfile.h"
#include "listformat.h"
#include "messages.h"

#include <cstring>
#include <utility>

namespace {

const QByteArrayView OwnName(ListFile::Name);

// QByteArrayView's == is a call out of line; this runs for every line.
bool sameBytes(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size()
            && (a.isEmpty() || std::memcmp(a.data(), b.data(), size_t(a.size())) == 0);
}

// Splits a line (without its line end) from the right, as a name may hold
// commas and the time and size never do. False without two commas after a
// name.
bool splitLine(QByteArrayView line, QByteArrayView *name, QByteArrayView *time,
               QByteArrayView *size)
{
    const char *d = line.data();
    qsizetype last = line.size() - 1;
    while (last >= 0 && d[last] != ',')
        --last;
    qsizetype before = last - 1;
    while (before >= 0 && d[before] != ',')
        --before;
    if (before <= 0)
        return false;
    *name = line.first(before);
    *time = line.sliced(before + 1, last - before - 1);
    *size = line.sliced(last + 1);
    return true;
}

QByteArrayView nameOf(QByteArrayView line)
{
    QByteArrayView name, time, size;
    splitLine(line, &name, &time, &size);
    return name;
}

bool allDigits(QByteArrayView text)
{
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// YYYY-MM-DDTHH:MM:SS, or empty for a directory.
bool isTime(QByteArrayView time)
{
    static constexpr char Pattern[] = "0000-00-00T00:00:00";
    if (time.isEmpty())
        return true;
    if (time.size() != qsizetype(sizeof Pattern - 1))
        return false;
    for (qsizetype i = 0; i < time.size(); ++i) {
        if (Pattern[i] == '0' ? (time[i] < '0' || time[i] > '9') : time[i] != Pattern[i])
            return false;
    }
    return true;
}

// Relative, with no empty component, no line break.
bool isListName(QByteArrayView name)
{
    if (name.startsWith('/') || name.endsWith('/') || name.contains("//"))
        return false;
    return !name.contains('\r');
}

bool isText(QByteArrayView line)
{
    if (line.contains('\0'))
        return false;
#ifdef Q_OS_WIN
    return true; // any byte is a character of the ANSI code page
#else
    return line.isValidUtf8();
#endif
}

bool isOwnLine(QByteArrayView line)
{
    return line.size() > OwnName.size() && line[OwnName.size()] == ','
            && sameBytes(line.first(OwnName.size()), OwnName) && sameBytes(nameOf(line), OwnName);
}

// The list's names are UTF-8 here, and in the ANSI code page on Windows,
// where the walk's order is their UTF-16 form's.
QByteArrayView utf8Of(QByteArrayView listName, QByteArray *scratch)
{
#ifdef Q_OS_WIN
    for (const char c : listName) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            *scratch = QString::fromLocal8Bit(listName).toUtf8();
            return *scratch;
        }
    }
#else
    Q_UNUSED(scratch);
#endif
    return listName;
}

} // namespace

ListDiff::ListDiff(PreviousList previous, ChangesFile *changes, const QString &listFile)
    : m_previous(std::move(previous)), m_changes(changes), m_listFile(listFile)
{
}

void ListDiff::giveUp(const QString &line)
{
    m_problem = line;
    m_current = false;
    m_previous.close();
}

void ListDiff::change(char kind, QByteArrayView name)
{
    if (m_changes)
        m_changes->add(kind, name);
}

bool ListDiff::readPrevious()
{
    for (;;) {
        QByteArrayView line;
        switch (m_previous.next(&line)) {
        case PreviousList::Read::Line:
            break;
        case PreviousList::Read::End:
            m_ended = true;
            m_previous.close();
            return false;
        case PreviousList::Read::CutOff:
            giveUp(Message::countsCutOff(m_listFile));
            return false;
        case PreviousList::Read::TooLong:
            giveUp(Message::countsLineTooLong(m_listFile, m_previous.lineNumber(),
                                              PreviousList::MaxLine));
            return false;
        case PreviousList::Read::Failed:
            giveUp(Message::countsUnreadable(m_listFile, m_previous.error().text()));
            return false;
        }
        if (!line.endsWith('\r')) {
            giveUp(Message::countsNotListLine(m_listFile, m_previous.lineNumber()));
            return false;
        }
        line.chop(1);
        if (isOwnLine(line))
            continue;
        ++m_previousEntries;
        m_line = line;
        m_current = true;
        m_checked = false;
        return true;
    }
}

bool ListDiff::check()
{
    if (m_checked)
        return true;
    if (!isText(m_line)) {
        giveUp(Message::countsNotText(m_listFile, m_previous.lineNumber()));
        return false;
    }
    QByteArrayView time, size;
    if (!splitLine(m_line, &m_name, &time, &size) || !isListName(m_name) || !isTime(time)
        || size.isEmpty() || size.size() > 20 || !allDigits(size)
        || (time.isEmpty() && size != "0")) {
        giveUp(Message::countsNotListLine(m_listFile, m_previous.lineNumber()));
        return false;
    }
    m_checked = true;
    return true;
}

bool ListDiff::gone(QByteArrayView name)
{
    // Every other previous line was found equal to a new one, or before one,
    // which keeps them in order; this one must come after the line before.
    const QByteArrayView before = m_previous.lineBefore();
    if (!before.isEmpty()) {
        QByteArray a, b;
        if (comparePaths(utf8Of(nameOf(before.chopped(1)), &a), utf8Of(name, &b)) >= 0) {
            giveUp(Message::countsOutOfOrder(m_listFile, m_previous.lineNumber()));
            return false;
        }
    }
    ++m_counts.gone;
    change('-', name);
    m_current = false;
    return true;
}

void ListDiff::add(const FileEntry &entry, QByteArrayView line)
{
    if (gaveUp() || sameBytes(entry.utf8Name(), OwnName))
        return;
#ifdef Q_OS_WIN
    const QByteArrayView name = nameOf(line);
#else
    const QByteArrayView name = line.first(entry.utf8Name().size());
#endif
    for (;;) {
        if (!m_current && (m_ended || !readPrevious())) {
            if (gaveUp())
                return;
            ++m_counts.added;
            change('+', name);
            return;
        }
        if (sameBytes(m_line, line)) {
            m_current = false;
            return;
        }
        if (!check())
            return;
        if (sameBytes(m_name, name)) {
            ++m_counts.changed;
            change('~', name);
            m_current = false;
            return;
        }
        QByteArray scratch;
        const int order = comparePaths(utf8Of(m_name, &scratch), entry.utf8Name());
        if (order > 0) {
            ++m_counts.added;
            change('+', name);
            return;
        }
        // Equal in order but not in bytes: not a name this program wrote.
        if (order == 0) {
            giveUp(Message::countsOutOfOrder(m_listFile, m_previous.lineNumber()));
            return;
        }
        if (!gone(m_name))
            return;
    }
}

bool ListDiff::finishSome(qint64 lines)
{
    for (; lines > 0; --lines) {
        if (!m_current && (m_ended || !readPrevious()))
            return false;
        if (!check() || !gone(m_name))
            return false;
    }
    return !gaveUp() && !m_ended;
}
