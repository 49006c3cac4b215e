// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <QByteArray>
#include <QByteArrayView>

// The list a new one is to replace, read line by line from start to end in
// chunks: memory stays bounded however long the list is. It is input the
// program did not necessarily write (another program, a hand, a cut-off
// copy), so a line may be of any length; one longer than MaxLine ends the
// reading. It is opened below the handle of the directory that is walked, as
// the new list is written there. The system calls live in one file per
// platform. Touched by the walk's thread only.
class PreviousList
{
public:
    using Error = DirectoryReader::Error;

    // Generous for deep trees: a line of a chain of 30,000 levels holds
    // 60,000 bytes.
    static constexpr qsizetype MaxLine = 1 << 20;

    enum class Read {
        Line,    // line holds the next line
        End,     // the list ended after a whole line, or was empty
        CutOff,  // the list ends in the middle of a line
        TooLong, // the next line is longer than MaxLine
        Failed,  // the system could not read it: error()
    };

    PreviousList() = default;
    ~PreviousList();
    PreviousList(PreviousList &&other) noexcept;
    PreviousList &operator=(PreviousList &&other) noexcept;
    PreviousList(const PreviousList &) = delete;
    PreviousList &operator=(const PreviousList &) = delete;

    // Opens name below dir. False with error set when it could not be
    // opened; a name that is missing or not a regular file gives
    // Error::Cause::Missing (there is no previous list).
    bool open(const DirectoryReader &dir, const char *name, Error *error);
    bool isOpen() const { return m_native != -1; }
    void close();

    // The next line, without its line end, which is LF (the caller checks
    // for the CR before it). It and the line before it stay valid until the
    // next call.
    Read next(QByteArrayView *line);
    // The line that next() gave before the last one; empty before the second.
    QByteArrayView lineBefore() const;
    // The number of the last line given, from 1.
    qint64 lineNumber() const { return m_lineNumber; }
    const Error &error() const { return m_error; }

private:
    // One read of at most size bytes: the count, 0 at the end, -1 on error.
    qint64 readSome(char *into, qint64 size);
    // Makes room for a chunk after what must be kept, and reads it.
    bool fill();
    void swap(PreviousList &other) noexcept;

    qintptr m_native = -1;
    QByteArray m_buffer;
    // Offsets in the buffer: the line before, the current line, what is
    // not given yet, the end of what was read.
    qsizetype m_beforeStart = 0;
    qsizetype m_beforeEnd = 0;
    qsizetype m_lineStart = 0;
    qsizetype m_lineEnd = 0;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_atEnd = false;
    qint64 m_lineNumber = 0;
    Error m_error;
};
