// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directorynode.h"

DirectoryNode::~DirectoryNode()
{
    // A node may be the last owner of a chain of ancestors thousands of
    // levels long: they go one after the other, not one inside the other.
    std::shared_ptr<DirectoryNode> up = std::move(parent);
    while (up && up.use_count() == 1) {
        std::shared_ptr<DirectoryNode> next = std::move(up->parent);
        up.reset();
        up = std::move(next);
    }
}

int comparePlaces(const DirectoryNode *a, quint32 ia, const DirectoryNode *b, quint32 ib)
{
    bool aBelow = false;
    bool bBelow = false;
    while (a->depth > b->depth) {
        ia = a->index;
        a = a->parent.get();
        aBelow = true;
    }
    while (b->depth > a->depth) {
        ib = b->index;
        b = b->parent.get();
        bBelow = true;
    }
    while (a != b) {
        ia = a->index;
        a = a->parent.get();
        ib = b->index;
        b = b->parent.get();
    }
    if (ia != ib)
        return ia < ib ? -1 : 1;
    // One lies below the other, which comes first.
    return aBelow ? 1 : (bBelow ? -1 : 0);
}

int depthLeadingBack(const DirectoryNode &node, const DirectoryReader::Identity &identity)
{
    for (const DirectoryNode *up = node.parent.get(); up; up = up->parent.get()) {
        if (up->identity == identity)
            return int(up->depth);
    }
    return -1;
}
