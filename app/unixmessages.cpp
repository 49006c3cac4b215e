// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "unixmessages.h"

#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

void writeAll(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(2, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        // A reader that has gone takes nothing more.
        if (n <= 0)
            return;
        data += n;
        size -= size_t(n);
    }
}

// Collects a line in a buffer of its own, so that a line of up to its size
// is one write, which a pipe keeps whole.
class LineWriter
{
public:
    void put(char c)
    {
        if (m_used == sizeof m_buffer)
            flush();
        m_buffer[m_used++] = c;
    }
    void put(const char *text)
    {
        for (; *text; ++text)
            put(*text);
    }
    void putUtf8(char32_t c)
    {
        if (c < 0x80) {
            put(char(c));
        } else if (c < 0x800) {
            put(char(0xc0 | (c >> 6)));
            put(char(0x80 | (c & 0x3f)));
        } else if (c < 0x10000) {
            put(char(0xe0 | (c >> 12)));
            put(char(0x80 | ((c >> 6) & 0x3f)));
            put(char(0x80 | (c & 0x3f)));
        } else {
            put(char(0xf0 | (c >> 18)));
            put(char(0x80 | ((c >> 12) & 0x3f)));
            put(char(0x80 | ((c >> 6) & 0x3f)));
            put(char(0x80 | (c & 0x3f)));
        }
    }
    void flush()
    {
        writeAll(m_buffer, m_used);
        m_used = 0;
    }

private:
    char m_buffer[4096];
    size_t m_used = 0;
};

void writeMessage(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    LineWriter line;
    if (context.category && std::strcmp(context.category, "default") != 0) {
        line.put(context.category);
        line.put(": ");
    }
    const QChar *units = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = units[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && units[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), units[++i].unicode());
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        line.putUtf8(c);
    }
    line.put('\n');
    line.flush();
}

} // namespace

void installUnixMessageHandler()
{
    qInstallMessageHandler(writeMessage);
}
