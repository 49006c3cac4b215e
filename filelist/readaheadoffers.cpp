// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "readaheadoffers.h"

#include <algorithm>

namespace {

using Entry = DirectoryReader::Entry;

// Comparing two places walks up the tree to where they part, so few are kept.
constexpr size_t MaxOffers = 256;

} // namespace

bool ReadAheadOffers::ByNextPlace::operator()(const std::shared_ptr<DirectoryJob> &a,
                                              const std::shared_ptr<DirectoryJob> &b) const
{
    return comparePlaces(a->node.get(), quint32(a->scheduled), b->node.get(),
                         quint32(b->scheduled))
            < 0;
}

bool ReadAheadOffers::isSkipped(const DirectoryJob &owner, size_t entry) const
{
    return owner.node->depth == 0
            && m_topLevelSkipped.contains(owner.listing.name(owner.listing.entries.at(qsizetype(entry))));
}

void ReadAheadOffers::add(const std::shared_ptr<DirectoryJob> &owner)
{
    if (owner->offered || !owner->canHaveChildren())
        return;
    const QList<Entry> &entries = owner->listing.entries;
    size_t next = owner->scheduled;
    while (next < size_t(entries.size())
           && (entries[qsizetype(next)].kind != Entry::Kind::Directory || isSkipped(*owner, next)
               || owner->hasChild(next)))
        ++next;
    owner->scheduled = next;
    if (next == size_t(entries.size()))
        return;
    owner->offered = true;
    m_offers.insert(owner);
    if (m_offers.size() > MaxOffers) {
        const auto last = std::prev(m_offers.end());
        (*last)->offered = false;
        m_offers.erase(last);
    }
}

void ReadAheadOffers::withdraw(DirectoryJob &owner)
{
    if (!owner.offered)
        return;
    // The offers are ordered by place: one found at the owner's is the owner.
    const auto at = std::find_if(m_offers.begin(), m_offers.end(),
                                 [&owner](const std::shared_ptr<DirectoryJob> &offer) {
                                     return offer.get() == &owner;
                                 });
    Q_ASSERT(at != m_offers.end());
    m_offers.erase(at);
    owner.offered = false;
}

void ReadAheadOffers::clear()
{
    for (const std::shared_ptr<DirectoryJob> &owner : m_offers)
        owner->offered = false;
    m_offers.clear();
}
