// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listformat.h"

#include "filelist.h"
#include "localclock.h"

#include <QStringEncoder>

#include <cstring>

namespace {

char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

char *putDigits(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

} // namespace

QString sortKey(QByteArrayView utf8Name)
{
    for (char c : utf8Name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return QString::fromUtf8(utf8Name).toLower();
    }
    return QString::fromLatin1(utf8Name.data(), utf8Name.size());
}

int compareKeys(QStringView a, QStringView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    const char16_t *pa = a.utf16();
    const char16_t *pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = asciiLower(pa[i]);
        const char16_t cb = asciiLower(pb[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void appendListLine(QByteArray &out, const FileEntry &entry, LocalClock &clock)
{
#ifdef Q_OS_WIN
    // The list is written in the local 8-bit encoding, which is not UTF-8 here.
    const QByteArray name = QStringEncoder(QStringEncoder::System).encode(entry.name());
#else
    const QByteArray &name = entry.utf8Name();
#endif
    // name, two commas, a 19-character time, up to 20 digits and CR LF
    const qsizetype start = out.size();
    out.resize(start + name.size() + 2 + 19 + 20 + 2);
    char *p = out.data() + start;
    std::memcpy(p, name.constData(), size_t(name.size()));
    p += name.size();
    *p++ = ',';

    LocalClock::Fields f;
    if (!entry.isDirectory() && clock.toLocal(entry.modifiedSecs(), &f) && f.year >= 0
        && f.year <= 9999) {
        p = putDigits(p, f.year, 4);
        *p++ = '-';
        p = putDigits(p, f.month, 2);
        *p++ = '-';
        p = putDigits(p, f.day, 2);
        *p++ = 'T';
        p = putDigits(p, f.hour, 2);
        *p++ = ':';
        p = putDigits(p, f.minute, 2);
        *p++ = ':';
        p = putDigits(p, f.second, 2);
    }
    *p++ = ',';

    char digits[24];
    char *d = digits + sizeof digits;
    quint64 size = quint64(qMax<qint64>(entry.size(), 0));
    do {
        *--d = char('0' + size % 10);
        size /= 10;
    } while (size);
    while (d < digits + sizeof digits)
        *p++ = *d++;
    *p++ = '\r';
    *p++ = '\n';
    out.resize(p - out.constData());
}
