// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// One run's cost, as vorn_rusage measured it.
struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    double peakKiB = 0;
};

// What a program run wrote, without the list's own line, which changes with
// every run: a digest to compare runs, the number of entries and the bytes
// of their paths.
struct ListDigest {
    QByteArray hash;
    qint64 entries = 0;
    qint64 pathBytes = 0;
};

// One command the benchmark times, and what its runs cost: the program of
// this build or of a peer at one thread count, or find. Touched by the
// benchmark's one thread only.
struct Contender {
    QByteArray label;
    std::vector<QByteArray> argv;
    QByteArray threads;    // the thread count the program is given; empty: its default
    QByteArray outputFile; // empty: stdout as it is
    QByteArray peer;       // the peer build's label; empty: this build's program, or find
    std::vector<Sample> empty; // the program's runs on an empty directory
    std::vector<Sample> warm;
    std::vector<Sample> cold;
    ListDigest list;
    // The program's list file is removed before each run: nothing to compare
    // the new list with.
    bool withoutList = false;

    bool isProgram() const { return outputFile.isEmpty(); }
};

// Runs the contender once to its end through vorn_rusage, beside the
// benchmark, which measures it; false when either failed.
bool runOnce(const Contender &c, Sample *sample);
// Empties the page cache, dentries and inodes, after writing back what is
// dirty, before a cold run; says why not when it cannot.
bool dropCaches(QString *why);
// The median of one field over the samples; 0 without any.
double medianOf(const std::vector<Sample> &samples, double Sample::*field);
// The digest of the list file the program wrote.
ListDigest digestList(const QString &listFile);
