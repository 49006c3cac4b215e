// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "descriptorcache.h"

#include <QStringLiteral>

#include <vector>

void DescriptorCache::Pin::reset() noexcept
{
    if (m_node)
        m_cache->unpin(*m_node);
    m_node.reset();
    m_cache = nullptr;
}

DescriptorCache::~DescriptorCache()
{
    Q_ASSERT(m_pinned.empty()); // nothing is pinned any more
    for (const std::shared_ptr<DirectoryNode> &node : m_unpinned)
        node->reader.close();
}

DescriptorCache::Pin DescriptorCache::adopt(const std::shared_ptr<DirectoryNode> &node,
                                            DirectoryReader reader)
{
    m_pinned.push_front(node);
    node->place = m_pinned.begin();
    node->identity = reader.identity();
    node->reader = std::move(reader);
    node->pins = 1;
    return Pin(this, node);
}

bool DescriptorCache::reserve()
{
    if (m_pinned.size() + m_unpinned.size() + m_reserved >= m_capacity && !giveUpOne())
        return false;
    ++m_reserved;
    return true;
}

void DescriptorCache::reserveAnyway()
{
    if (!reserve())
        ++m_reserved;
}

void DescriptorCache::release() noexcept
{
    Q_ASSERT(m_reserved > 0);
    --m_reserved;
}

DescriptorCache::Pin DescriptorCache::install(const std::shared_ptr<DirectoryNode> &node,
                                              DirectoryReader reader)
{
    Q_ASSERT(m_reserved > 0 && !node->reader.isOpen());
    Q_ASSERT(node->identity == reader.identity());
    m_pinned.push_front(node);
    node->place = m_pinned.begin();
    --m_reserved;
    node->reader = std::move(reader);
    node->pins = 1;
    return Pin(this, node);
}

DescriptorCache::Pin DescriptorCache::pin(const std::shared_ptr<DirectoryNode> &node) noexcept
{
    Q_ASSERT(node->reader.isOpen());
    if (node->pins++ == 0)
        m_pinned.splice(m_pinned.begin(), m_unpinned, node->place);
    return Pin(this, node);
}

void DescriptorCache::unpin(DirectoryNode &node) noexcept
{
    Q_ASSERT(node.pins > 0);
    if (--node.pins > 0)
        return;
    m_unpinned.splice(m_unpinned.begin(), m_pinned, node.place);
    // Each unpin makes one directory free to close at most, so one goes.
    if (m_pinned.size() + m_unpinned.size() + m_reserved > m_capacity)
        giveUpOne();
}

bool DescriptorCache::giveUpOne() noexcept
{
    if (m_unpinned.empty())
        return false;
    m_unpinned.back()->reader.close();
    m_unpinned.pop_back();
    return true;
}

bool DescriptorCache::shortOfDescriptors()
{
    const bool gaveUp = giveUpOne();
    m_capacity = qMax<size_t>(2, m_pinned.size() + m_unpinned.size() + m_reserved);
    return gaveUp;
}

DescriptorCache::Pin DescriptorCache::acquire(const std::shared_ptr<DirectoryNode> &node,
                                              Error *error,
                                              const std::shared_ptr<DirectoryNode> &left)
{
    *error = {};
    if (node->reader.isOpen())
        return pin(node);
    // The source stays open throughout the walk.
    std::shared_ptr<DirectoryNode> ancestor = node->parent;
    while (!ancestor->reader.isOpen())
        ancestor = ancestor->parent;
    Pin base = pin(ancestor);
    if (left && left->parent == node && left->reader.isOpen()) {
        // A link's ".." is not the directory the walk came from: then the
        // way down from the ancestor is taken.
        Pin reopened = reopen(pin(left), node, error);
        if (reopened)
            return reopened;
    }
    return reopen(std::move(base), node, error);
}

DescriptorCache::Pin DescriptorCache::reopen(Pin base, const std::shared_ptr<DirectoryNode> &node,
                                             Error *error)
{
    QByteArray relative;
    if (base.m_node->parent == node) {
        relative = QByteArrayLiteral("..");
    } else {
        std::vector<const DirectoryNode *> down;
        for (const DirectoryNode *n = node.get(); n != base.m_node.get(); n = n->parent.get())
            down.push_back(n);
        for (auto n = down.rbegin(); n != down.rend(); ++n)
            relative.append((*n)->name).append('/');
        relative.chop(1);
    }
    DirectoryReader reader = openBelow(base.reader(), relative, error);
    if (error->cause() == Error::Cause::PathTooLong)
        return reopenStepwise(std::move(base), node, error);
    if (error->isSet())
        return {};
    if (reader.identity() != node->identity) {
        release();
        *error = Error::own(QStringLiteral("it was moved during the walk"));
        return {};
    }
    return install(node, std::move(reader));
}

DescriptorCache::Pin DescriptorCache::reopenStepwise(Pin base,
                                                     const std::shared_ptr<DirectoryNode> &node,
                                                     Error *error)
{
    std::vector<std::shared_ptr<DirectoryNode>> down;
    for (std::shared_ptr<DirectoryNode> n = node; n != base.m_node; n = n->parent)
        down.push_back(n);
    Pin current = std::move(base);
    for (auto n = down.rbegin(); n != down.rend(); ++n) {
        if ((*n)->reader.isOpen()) {
            current = pin(*n);
            continue;
        }
        DirectoryReader reader = openBelow(current.reader(), (*n)->name, error);
        if (error->isSet())
            return {};
        if (reader.identity() != (*n)->identity) {
            release();
            *error = Error::own(QStringLiteral("it was moved during the walk"));
            return {};
        }
        current = install(*n, std::move(reader));
    }
    return current;
}

DirectoryReader DescriptorCache::openBelow(const DirectoryReader &base, QByteArrayView relative,
                                           Error *error)
{
    reserveAnyway();
    for (;;) {
        DirectoryReader reader = DirectoryReader::openChild(base, relative, error);
        if (!error->isSet())
            return reader;
        if (error->cause() != Error::Cause::OutOfDescriptors || !shortOfDescriptors()) {
            release();
            return reader;
        }
    }
}
