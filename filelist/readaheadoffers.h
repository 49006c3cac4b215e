// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryjob.h"

#include <QByteArrayList>

#include <memory>
#include <set>

// Directories read and on the walk's path, or read ahead, whose next
// subdirectory has not been asked for yet, soonest needed first: what the
// read-ahead asks for next. Bounded, as each comparison walks up the tree;
// an offer dropped for that is made again when the walk comes back to it.
//
// Threads: the walk's thread alone; it owns each job's offered and
// scheduled fields.
class ReadAheadOffers
{
public:
    // topLevelSkipped: names of the source that are never read ahead.
    explicit ReadAheadOffers(QByteArrayList topLevelSkipped)
        : m_topLevelSkipped(std::move(topLevelSkipped))
    {
    }

    // Offers owner's first subdirectory from owner.scheduled on that it may
    // ask for, if any; owner.scheduled moves to it.
    void add(const std::shared_ptr<DirectoryJob> &owner);
    void withdraw(DirectoryJob &owner);
    bool isEmpty() const { return m_offers.empty(); }
    // The owner of the subdirectory needed soonest.
    const std::shared_ptr<DirectoryJob> &first() const { return *m_offers.begin(); }
    void clear();

private:
    struct ByNextPlace {
        bool operator()(const std::shared_ptr<DirectoryJob> &a,
                        const std::shared_ptr<DirectoryJob> &b) const;
    };

    bool isSkipped(const DirectoryJob &owner, size_t entry) const;

    const QByteArrayList m_topLevelSkipped;
    std::set<std::shared_ptr<DirectoryJob>, ByNextPlace> m_offers;
};
