// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <QByteArray>

#include <list>
#include <memory>

// A directory the walk has met, from the source down. Each refers to its
// parent, so a path costs one node per level, shared by everything below it:
// memory grows with the depth, not with its square. What the walk needs to
// reopen a directory (the names down to it and its identity) and to place it
// in walk order (its depth and its entry's index) never changes once made.
//
// Threads: the walk's thread makes a node and sets its identity once, when
// the directory was first read, before any job below it is handed out; after
// that any thread may read these fields, and a reopening only checks that
// the identity is the same. The open directory and its bookkeeping
// belong to the descriptor cache, which only the walk's thread uses.
struct DirectoryNode {
    DirectoryNode(std::shared_ptr<DirectoryNode> up, QByteArray entryName, quint32 entryIndex,
                  bool metAsLink = false)
        : parent(std::move(up)), name(std::move(entryName)),
          depth(parent ? parent->depth + 1 : 0), index(entryIndex), throughLink(metAsLink)
    {
    }
    ~DirectoryNode();
    DirectoryNode(const DirectoryNode &) = delete;
    DirectoryNode &operator=(const DirectoryNode &) = delete;

    // Null for the source; changed only as the node goes.
    std::shared_ptr<DirectoryNode> parent;
    const QByteArray name; // NUL-terminated; the source's is its path
    const quint32 depth;   // the source's is 0
    const quint32 index;   // its entry's place in the parent's sorted listing
    // Met as a link (or as what the listing could not tell): it may be one
    // of its own ancestors.
    const bool throughLink;
    DirectoryReader::Identity identity;

private:
    friend class DescriptorCache;
    DirectoryReader reader; // open while the cache holds it
    int pins = 0;
    // Its place in the cache's list of open directories, while open.
    std::list<std::shared_ptr<DirectoryNode>>::iterator place;
};

// The order of two places in walk order, a place being the entry at an index
// of a directory: each is followed up the tree to where the two part, so the
// cost grows with how far below that point they lie.
int comparePlaces(const DirectoryNode *a, quint32 ia, const DirectoryNode *b, quint32 ib);

// Whether the directory node, opened as identity, is one of its own
// ancestors met again through a link: then the depth of that ancestor. It
// looks at every ancestor; the walk keeps the identities of its own path at
// hand for the directories it enters.
int depthLeadingBack(const DirectoryNode &node, const DirectoryReader::Identity &identity);
