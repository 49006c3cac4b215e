// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "treegen.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const Stems[] = {"report", "Setup", "data", "IMG", "readme", "Config", "lib",
                             "module", "Archive", "index", "notes", "Build", "cache", "Font",
                             "driver", "Invoice", "tool", "Template", "photo", "script"};
const char *const Extensions[] = {".txt", ".dll", ".exe", ".ini", ".jpg", ".pdf", ".xml",
                                  ".DAT", ".cfg", ""};
const char *const Foreign[] = {"Übersicht", "café", "naïve", "Ærø", "日本語", "Ελληνικά",
                               "résumé", "Straße"};
const char *const Excluded[] = {"temp", "logs", "backup"};

QByteArray makeName(QRandomGenerator &rng, bool directory, int index)
{
    QByteArray name;
    const quint32 roll = rng.bounded(100);
    if (roll < 3)
        name = Foreign[rng.bounded(int(std::size(Foreign)))];
    else if (roll < 4)
        name = ".hidden";
    else
        name = Stems[rng.bounded(int(std::size(Stems)))];
    name += '_' + QByteArray::number(index);
    if (!directory)
        name += Extensions[rng.bounded(int(std::size(Extensions)))];
    return name;
}

// Made one level at a time through descriptors: the paths get longer than
// the system takes at once.
qint64 generateDeep(const QByteArray &top, qint64 levels, bool comb)
{
    ::mkdir(top.constData(), 0755);
    int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    qint64 made = 0;
    for (qint64 i = 0; i < levels && fd >= 0; ++i) {
        if (comb) {
            ::mkdirat(fd, "b", 0755);
            ::close(::openat(fd, "b/f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            made += 2;
        }
        const char *next = comb ? "a" : "d";
        ::mkdirat(fd, next, 0755);
        const int below = ::openat(fd, next, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
        ++made;
    }
    if (fd >= 0 && !comb) {
        ::close(::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ++made;
    }
    ::close(fd);
    return made;
}

// Short names of one length, f000000 to f299999 for 300,000 files, so that
// what an entry costs beyond its name shows.
qint64 generateFlat(const QByteArray &top, qint64 files)
{
    ::mkdir(top.constData(), 0755);
    const int width = int(QByteArray::number(qMax<qint64>(files - 1, 0)).size());
    for (qint64 i = 0; i < files; ++i) {
        const QByteArray path = top + "/f" + QByteArray::number(i).rightJustified(width, '0');
        ::close(::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
    return files;
}

qint64 generateShare(const QByteArray &top, qint64 entries, QRandomGenerator &rng)
{
    ::mkdir(top.constData(), 0755);
    std::deque<QByteArray> pending{top};
    qint64 made = 0;
    bool first = true;
    while (!pending.empty() && made < entries) {
        const QByteArray dir = pending.front();
        pending.pop_front();
        const int count = 20 + int(rng.bounded(21));
        for (int i = 0; i < count && made < entries; ++i) {
            // About one entry in seven is a directory, which nests the tree
            // seven or eight levels deep at a million entries.
            const bool directory = rng.bounded(7) == 0 || (pending.empty() && i == count - 1);
            const bool excluded = first && i < int(std::size(Excluded));
            const QByteArray name = excluded ? QByteArray(Excluded[i]) : makeName(rng, directory, i);
            const QByteArray path = dir + '/' + name;
            if (excluded) {
                // A few files that the list must leave out.
                ::mkdir(path.constData(), 0755);
                for (int j = 0; j < 5; ++j)
                    ::close(::open((path + "/old" + QByteArray::number(j)).constData(),
                                   O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                made += 5;
            } else if (directory) {
                ::mkdir(path.constData(), 0755);
                pending.push_back(path);
            } else {
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd < 0)
                    continue;
                ::ftruncate(fd, off_t(rng.bounded(1 << 20)));
                ::close(fd);
                // 2010 to 2026
                const time_t when = time_t(1262304000 + rng.bounded(520000000));
                const struct timespec times[2] = {{when, 0}, {when, 0}};
                ::utimensat(AT_FDCWD, path.constData(), times, 0);
            }
            ++made;
        }
        first = false;
    }
    return made;
}

} // namespace

qint64 generateTree(const QString &root, TreeShape shape, qint64 size, quint32 seed)
{
    QRandomGenerator rng(seed);
    const QByteArray top = QFile::encodeName(root);
    switch (shape) {
    case TreeShape::Share:
        return generateShare(top, size, rng);
    case TreeShape::Chain:
        return generateDeep(top, size, false);
    case TreeShape::Comb:
        return generateDeep(top, size, true);
    case TreeShape::Flat:
        return generateFlat(top, size);
    }
    return 0;
}
