// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "previouslist.h"

#include <cstring>
#include <utility>

namespace {

// Large enough that reading costs few calls (1,500 for a list of a million
// entries), small beside the memory a walk takes.
constexpr qsizetype Chunk = 64 * 1024;

} // namespace

PreviousList::~PreviousList()
{
    close();
}

PreviousList::PreviousList(PreviousList &&other) noexcept
{
    swap(other);
}

PreviousList &PreviousList::operator=(PreviousList &&other) noexcept
{
    PreviousList(std::move(other)).swap(*this);
    return *this;
}

void PreviousList::swap(PreviousList &other) noexcept
{
    std::swap(m_native, other.m_native);
    m_buffer.swap(other.m_buffer);
    std::swap(m_beforeStart, other.m_beforeStart);
    std::swap(m_beforeEnd, other.m_beforeEnd);
    std::swap(m_lineStart, other.m_lineStart);
    std::swap(m_lineEnd, other.m_lineEnd);
    std::swap(m_pos, other.m_pos);
    std::swap(m_end, other.m_end);
    std::swap(m_atEnd, other.m_atEnd);
    std::swap(m_lineNumber, other.m_lineNumber);
    std::swap(m_error, other.m_error);
}

QByteArrayView PreviousList::lineBefore() const
{
    return QByteArrayView(m_buffer.constData() + m_beforeStart, m_beforeEnd - m_beforeStart);
}

PreviousList::Read PreviousList::next(QByteArrayView *line)
{
    for (;;) {
        const char *data = m_buffer.constData();
        const void *lf = m_pos < m_end ? std::memchr(data + m_pos, '\n', size_t(m_end - m_pos))
                                       : nullptr;
        if (lf) {
            const qsizetype end = static_cast<const char *>(lf) - data;
            ++m_lineNumber;
            if (end - m_pos > MaxLine)
                return Read::TooLong;
            m_beforeStart = m_lineStart;
            m_beforeEnd = m_lineEnd;
            m_lineStart = m_pos;
            m_lineEnd = end;
            m_pos = end + 1;
            *line = QByteArrayView(data + m_lineStart, m_lineEnd - m_lineStart);
            return Read::Line;
        }
        if (m_end - m_pos > MaxLine) {
            ++m_lineNumber;
            return Read::TooLong;
        }
        if (m_atEnd) {
            if (m_pos == m_end)
                return Read::End;
            ++m_lineNumber;
            return Read::CutOff;
        }
        if (!fill())
            return Read::Failed;
    }
}

bool PreviousList::fill()
{
    // The caller may still compare the current line with the one before.
    const qsizetype keep = m_beforeStart;
    if (keep > 0) {
        char *data = m_buffer.data();
        std::memmove(data, data + keep, size_t(m_end - keep));
        m_beforeStart -= keep;
        m_beforeEnd -= keep;
        m_lineStart -= keep;
        m_lineEnd -= keep;
        m_pos -= keep;
        m_end -= keep;
    }
    // Grows only for long lines, and no further than three of MaxLine.
    if (m_buffer.size() - m_end < Chunk)
        m_buffer.resize(m_end + 2 * Chunk);
    const qint64 n = readSome(m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (n < 0)
        return false;
    if (n == 0)
        m_atEnd = true;
    m_end += qsizetype(n);
    return true;
}
