// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listformat.h"

#include "fileentry.h"
#include "localclock.h"

#ifdef Q_OS_WIN
#include <QStringEncoder>
#endif

#include <cstring>
#include <type_traits>

namespace {

char16_t lowerUnit(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

char16_t lowerUnit(char c)
{
    return lowerUnit(char16_t(static_cast<unsigned char>(c)));
}

// Compares by UTF-16 code unit after lowering ASCII letters; an ASCII name's
// bytes are its code units.
template <typename A, typename B>
int compareLowered(const A *a, qsizetype na, const B *b, qsizetype nb)
{
    const qsizetype n = qMin(na, nb);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = lowerUnit(a[i]);
        const char16_t cb = lowerUnit(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

template <typename Unit>
int compareExact(const Unit *a, qsizetype na, const Unit *b, qsizetype nb)
{
    const qsizetype n = qMin(na, nb);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = char16_t(std::make_unsigned_t<Unit>(a[i]));
        const char16_t cb = char16_t(std::make_unsigned_t<Unit>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

char *putDigits(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

// A file line always carries a time, so one the four-digit year cannot hold
// is written as the nearest one it can. The C library fails only for times
// far beyond either end.
LocalClock::Fields clampedLocalTime(qint64 secs, LocalClock &clock)
{
    static constexpr LocalClock::Fields Earliest{1, 1, 1, 0, 0, 0};
    static constexpr LocalClock::Fields Latest{9999, 12, 31, 23, 59, 59};
    LocalClock::Fields f;
    if (!clock.toLocal(secs, &f))
        return secs < 0 ? Earliest : Latest;
    if (f.year < 1)
        return Earliest;
    if (f.year > 9999)
        return Latest;
    return f;
}

bool isAscii(QByteArrayView name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

int compareNames(QByteArrayView a, QByteArrayView b)
{
    const QString la = isAscii(a) ? QString() : QString::fromUtf8(a).toLower();
    const QString lb = isAscii(b) ? QString() : QString::fromUtf8(b).toLower();
    return compareKeys({a, la}, {b, lb});
}

// Where the component starting at from ends.
qsizetype componentEnd(QByteArrayView path, qsizetype from)
{
    const void *slash = std::memchr(path.data() + from, '/', size_t(path.size() - from));
    return slash ? static_cast<const char *>(slash) - path.data() : path.size();
}

} // namespace

int comparePaths(QByteArrayView a, QByteArrayView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    for (;;) {
        const qsizetype ea = componentEnd(a, i);
        const qsizetype eb = componentEnd(b, j);
        const QByteArrayView ca = a.sliced(i, ea - i);
        const QByteArrayView cb = b.sliced(j, eb - j);
        if (ca != cb)
            return compareNames(ca, cb);
        const bool lastA = ea == a.size();
        const bool lastB = eb == b.size();
        if (lastA || lastB)
            return lastA == lastB ? 0 : (lastA ? -1 : 1);
        i = ea + 1;
        j = eb + 1;
    }
}

int compareKeys(const SortKey &a, const SortKey &b)
{
    const QStringView la = a.lowered;
    const QStringView lb = b.lowered;
    int order;
    if (la.isNull() && lb.isNull())
        order = compareLowered(a.name.data(), a.name.size(), b.name.data(), b.name.size());
    else if (la.isNull())
        order = compareLowered(a.name.data(), a.name.size(), lb.utf16(), lb.size());
    else if (lb.isNull())
        order = compareLowered(la.utf16(), la.size(), b.name.data(), b.name.size());
    else
        order = compareLowered(la.utf16(), la.size(), lb.utf16(), lb.size());
    if (order != 0)
        return order;
    // Names equal but for case, rare enough to be decoded here.
    if (la.isNull() && lb.isNull())
        return compareExact(a.name.data(), a.name.size(), b.name.data(), b.name.size());
    const QString ea = QString::fromUtf8(a.name);
    const QString eb = QString::fromUtf8(b.name);
    return compareExact(ea.utf16(), ea.size(), eb.utf16(), eb.size());
}

void appendListLine(QByteArray &out, const FileEntry &entry, LocalClock &clock)
{
#ifdef Q_OS_WIN
    // The list is written in the local 8-bit encoding, which is not UTF-8 here.
    const QByteArray name = QStringEncoder(QStringEncoder::System).encode(entry.name());
#else
    const QByteArrayView name = entry.utf8Name();
#endif
    // name, two commas, a 19-character time, up to 20 digits and CR LF
    const qsizetype start = out.size();
    out.resize(start + name.size() + 2 + 19 + 20 + 2);
    char *p = out.data() + start;
    std::memcpy(p, name.data(), size_t(name.size()));
    p += name.size();
    *p++ = ',';

    if (!entry.isDirectory()) {
        const LocalClock::Fields f = clampedLocalTime(entry.modifiedSecs(), clock);
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
