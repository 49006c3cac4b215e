// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "descriptorcache.h"
#include "directorynode.h"
#include "directoryreader.h"
#include "entrychunks.h"
#include "readcontext.h"

#include <memory>
#include <vector>

// Reading one directory: opening it below its open parent, listing its
// names, looking at each entry and sorting them into list order.
//
// A job is New (made, not read), Out (handed to the workers: queued, being
// read, or read and not yet taken back) or Done (read, and back on the walk's
// thread). Who may touch what:
// - node and parent: set by the walk's thread before the job is read, read
//   only afterwards; parent is the parent's open directory, pinned by
//   parentPin while the job is Out.
// - reader, identity, error, leadsBackTo, leadsOutside and listing: the
//   thread reading the job, then the walk's thread once it has it back.
// - chunks: every thread looking at its entries (entrychunks.h).
// - everything below "Scheduling": the walk's thread alone.
struct DirectoryJob {
    enum class State { New, Out, Done };

    explicit DirectoryJob(std::shared_ptr<DirectoryNode> directory) : node(std::move(directory)) { }

    // Reads the directory on the calling thread: node below parent, or the
    // source, already open as opened. Never throws: memory running out is
    // the job's error.
    void read(const ReadContext &context, const DirectoryReader *opened = nullptr) noexcept;

    const std::shared_ptr<DirectoryNode> node;
    const DirectoryReader *parent = nullptr;

    DirectoryReader reader; // left open only when it has subdirectories
    DirectoryReader::Identity identity;
    // It could not be read at all; a reading that stopped part-way is the
    // listing's readError.
    DirectoryReader::Error error;
    int leadsBackTo = -1;  // the depth of the directory above that it is, if any
    int leadsOutside = -1; // or the index of the one above the source
    DirectoryReader::Listing listing;
    EntryChunks chunks;

    // Scheduling.
    State state = State::New;
    bool ahead = false;   // asked for by the read-ahead before the walk got there
    bool dropped = false; // asked for ahead, then no longer wanted while Out
    DescriptorCache::Pin parentPin;
    std::weak_ptr<DirectoryJob> owner; // the job it was asked for from, while ahead
    // Read ahead, by entry, in order: a few, however many entries it has.
    std::vector<std::pair<size_t, std::shared_ptr<DirectoryJob>>> children;
    size_t scheduled = 0; // the first entry the read-ahead may still ask for
    bool offered = false; // waiting to have its subdirectories read ahead

    bool leadsBack() const { return leadsBackTo >= 0 || leadsOutside >= 0; }
    void addChild(size_t entry, std::shared_ptr<DirectoryJob> child);
    bool hasChild(size_t entry) const;
    // The child read ahead for entry, if any, no longer among the children.
    std::shared_ptr<DirectoryJob> takeChild(size_t entry);
    // Read, and has subdirectories the walk may enter.
    bool canHaveChildren() const
    {
        return state == State::Done && !error.isSet() && !leadsBack();
    }
};

// Jobs in walk order: soonest needed first. Any thread may compare two jobs;
// only their nodes are read.
struct JobsByPlace {
    bool operator()(const std::shared_ptr<DirectoryJob> &a,
                    const std::shared_ptr<DirectoryJob> &b) const;
};
