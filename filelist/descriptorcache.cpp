// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "descriptorcache.h"

#include "brieflock.h"

#include <QStringLiteral>

#include <vector>

void DescriptorCache::Pin::reset()
{
    if (m_node)
        m_cache->unpin(m_node);
    m_node.reset();
    m_cache = nullptr;
}

void DescriptorCache::Pin::drop()
{
    if (m_node)
        m_cache->unpin(m_node, false);
    m_node.reset();
    m_cache = nullptr;
}

DescriptorCache::~DescriptorCache()
{
    Q_ASSERT(m_open == m_unpinned.size()); // nothing is pinned any more
}

DescriptorCache::Pin DescriptorCache::adopt(const std::shared_ptr<DirectoryNode> &node,
                                            DirectoryReader reader)
{
    node->identity = reader.identity();
    return install(node, std::move(reader));
}

DescriptorCache::Pin DescriptorCache::open(const Pin &parent,
                                           const std::shared_ptr<DirectoryNode> &node,
                                           Error *error)
{
    DirectoryReader reader = openBelow(parent.reader(), node->name, error);
    if (error->isSet())
        return {};
    node->identity = reader.identity();
    return install(node, std::move(reader));
}

DescriptorCache::Pin DescriptorCache::acquire(const std::shared_ptr<DirectoryNode> &node,
                                              Error *error,
                                              const std::shared_ptr<DirectoryNode> &left)
{
    Pin child;
    std::shared_ptr<DirectoryNode> ancestor;
    {
        BriefLock lock(m_lock);
        if (node->reader.isOpen()) {
            pinLocked(*node);
            *error = {};
            return Pin(this, node);
        }
        if (left && left->parent == node && left->reader.isOpen()) {
            pinLocked(*left);
            child = Pin(this, left);
        }
        // The source stays open throughout the walk.
        ancestor = node->parent;
        while (!ancestor->reader.isOpen())
            ancestor = ancestor->parent;
        pinLocked(*ancestor);
    }
    Pin base(this, std::move(ancestor));
    if (child) {
        // A link's ".." is not the directory the walk came from: then the
        // way down from the ancestor is taken.
        Pin reopened = reopen(std::move(child), node, error);
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
        DirectoryReader reader = openBelow(current.reader(), (*n)->name, error);
        if (error->isSet())
            return {};
        if (reader.identity() != (*n)->identity) {
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
    for (;;) {
        DirectoryReader reader = DirectoryReader::openChild(base, relative, error);
        if (error->cause() != Error::Cause::OutOfDescriptors || !giveUpOne())
            return reader;
    }
}

DescriptorCache::Pin DescriptorCache::install(const std::shared_ptr<DirectoryNode> &node,
                                              DirectoryReader reader)
{
    DirectoryReader closing; // closed once the lock is let go
    BriefLock lock(m_lock);
    if (node->reader.isOpen()) {
        // Another thread opened it meanwhile.
        closing = std::move(reader);
        pinLocked(*node);
        return Pin(this, node);
    }
    node->reader = std::move(reader);
    node->pins = 1;
    ++m_open;
    trimLocked(&closing);
    return Pin(this, node);
}

void DescriptorCache::pinLocked(DirectoryNode &node)
{
    Q_ASSERT(node.reader.isOpen());
    if (node.pins++ == 0)
        m_unpinned.erase(node.unpinned);
}

void DescriptorCache::unpin(const std::shared_ptr<DirectoryNode> &node, bool keep)
{
    DirectoryReader closing; // closed once the lock is let go
    BriefLock lock(m_lock);
    Q_ASSERT(node->pins > 0);
    if (--node->pins > 0)
        return;
    if (!keep) {
        closing = std::move(node->reader);
        --m_open;
        return;
    }
    m_unpinned.push_front(node);
    node->unpinned = m_unpinned.begin();
    trimLocked(&closing);
}

void DescriptorCache::trimLocked(DirectoryReader *closing)
{
    // Each call adds one directory at most, so one goes at most.
    if (m_open > m_capacity && !m_unpinned.empty())
        giveUpLocked(closing);
}

void DescriptorCache::giveUpLocked(DirectoryReader *closing)
{
    *closing = std::move(m_unpinned.back()->reader);
    m_unpinned.pop_back();
    --m_open;
}

bool DescriptorCache::giveUpOne()
{
    DirectoryReader closing; // closed once the lock is let go
    BriefLock lock(m_lock);
    if (m_unpinned.empty())
        return false;
    giveUpLocked(&closing);
    return true;
}
