// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listing.h"

#include "listformat.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// Where a name's lower-case form starts: after its NUL, aligned for UTF-16,
// behind its length.
qsizetype loweredStart(qsizetype nameEnd)
{
    return (nameEnd + 1 + 1) & ~qsizetype(1);
}

} // namespace

bool Listing::add(QByteArrayView utf8, QStringView decoded, Entry entry)
{
    QString lowered;
    if (!decoded.isNull())
        lowered = decoded.toString().toLower();
    const qsizetype start = m_names.size();
    qsizetype end = start + utf8.size() + 1;
    if (!lowered.isNull())
        end = loweredStart(start + utf8.size()) + qsizetype(sizeof(quint16))
                + lowered.size() * qsizetype(sizeof(char16_t));
    if (end > qsizetype(std::numeric_limits<quint32>::max())
        || utf8.size() > std::numeric_limits<quint16>::max()
        || lowered.size() > std::numeric_limits<quint16>::max()) {
        readError = SystemError::fromCode(EOVERFLOW);
        return false;
    }
    m_names.resize(end);
    char *at = m_names.data() + start;
    std::memcpy(at, utf8.data(), size_t(utf8.size()));
    at[utf8.size()] = '\0';
    entry.nameStart = quint32(start);
    entry.nameSize = quint16(utf8.size());
    if (!lowered.isNull()) {
        char *key = m_names.data() + loweredStart(start + utf8.size());
        const quint16 units = quint16(lowered.size());
        std::memcpy(key, &units, sizeof units);
        std::memcpy(key + sizeof units, lowered.utf16(), units * sizeof(char16_t));
        entry.flags |= Entry::Lowered;
    }
    entries.append(entry);
    return true;
}

QStringView Listing::lowered(const Entry &entry) const
{
    if (!(entry.flags & Entry::Lowered))
        return {};
    const char *key = m_names.constData() + loweredStart(entry.nameStart + entry.nameSize);
    quint16 units;
    std::memcpy(&units, key, sizeof units);
    return QStringView(reinterpret_cast<const char16_t *>(key + sizeof units), units);
}

void Listing::settle()
{
    qsizetype kept = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries.at(i);
        switch (entry.kind) {
        case Entry::Kind::Directory:
        case Entry::Kind::File:
            entries[kept++] = entry;
            break;
        case Entry::Kind::CannotStat:
            problems.push_back({WalkNotice::Kind::CannotStat, name(entry).toByteArray(), {},
                                SystemError::fromCode(entry.error)});
            break;
        case Entry::Kind::ToLookAt:
        case Entry::Kind::Left:
            break;
        }
    }
    entries.resize(kept);
}

void Listing::sort()
{
    std::sort(entries.begin(), entries.end(), [this](const Entry &a, const Entry &b) {
        return compareKeys({name(a), lowered(a)}, {name(b), lowered(b)}) < 0;
    });
}

bool Listing::hasDirectories() const
{
    return std::any_of(entries.cbegin(), entries.cend(),
                       [](const Entry &entry) { return entry.kind == Entry::Kind::Directory; });
}
