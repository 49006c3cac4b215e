// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <utility>

namespace {

QStringList collected;

void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg)
        collected << text;
}

} // namespace

void TestTree::makeParent(const QString &path)
{
    makeDirectory(path.left(path.lastIndexOf(u'/')));
}

TestTree &TestTree::add(const QStringList &items)
{
    for (const QString &item : items) {
        const qsizetype arrow = item.indexOf(QLatin1String(" -> "));
        if (arrow >= 0)
            link(item.left(arrow), item.mid(arrow + 4));
        else if (item.endsWith(u'/'))
            dir(item.chopped(1));
        else if (item.endsWith(u'|'))
            fifo(item.chopped(1));
        else if (item.endsWith(u'='))
            socket(item.chopped(1));
        else
            file(item);
    }
    return *this;
}

TestTree &TestTree::dir(const QString &relative)
{
    makeDirectory(path(relative));
    return *this;
}

TestTree &TestTree::file(const QString &relative, const QByteArray &content, qint64 mtime)
{
    const QString p = path(relative);
    makeParent(p);
    if (!writeFile(p, content))
        qFatal("cannot write %s", qPrintable(p));
    return touch(relative, mtime);
}

QByteArray TestTree::read(const QString &relative) const
{
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString nativeJoins(QString text)
{
    return text.replace(u'\\', QDir::separator());
}

QStringList withRoot(QStringList texts, const QString &root)
{
    for (QString &text : texts)
        text = nativeJoins(text).replace(QStringLiteral("<root>"), root);
    return texts;
}

DebugMessages::DebugMessages() : m_previous(qInstallMessageHandler(collect))
{
    collected.clear();
}

DebugMessages::~DebugMessages()
{
    qInstallMessageHandler(m_previous);
}

QStringList DebugMessages::take()
{
    return std::exchange(collected, {});
}

QStringList lines(const QByteArray &listFile)
{
    QStringList result;
    for (QByteArray line : listFile.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            result << QString::fromLocal8Bit(line);
    }
    return result;
}

QByteArray listBytes(QStringView text)
{
    return text.toLocal8Bit();
}

QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"CC_SERVER_ROOT", "CC_SYSTEM", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
#ifdef Q_OS_WIN
    // The program's own message handler must bring its lines out, not Qt's.
    env.remove(QStringLiteral("QT_FORCE_STDERR_LOGGING"));
#else
    // Windows always has a desktop; there these would only reach Wine, which
    // needs its X display.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
#endif
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QString programPath()
{
    return QStringLiteral(VORN_PROGRAM);
}

RunResult runProgram(const QStringList &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits, const std::function<void(QProcess &)> &whileRunning)
{
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes << QFile::encodeName(argument);
    return runProgram(bytes, environment, limits, whileRunning);
}

RunResult runProgram(const QList<QByteArray> &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits, const std::function<void(QProcess &)> &whileRunning)
{
    QProcess process;
    startProgram(process, arguments, environment, limits);
    if (whileRunning && process.waitForStarted())
        whileRunning(process);
    RunResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.messages = programLines(process.readAllStandardError());
    result.output = process.readAllStandardOutput();
    return result;
}

QStringList programLines(const QByteArray &standardError)
{
    QStringList messages;
    QString err = QString::fromLocal8Bit(standardError);
    if (err.isEmpty())
        return messages;
    if (err.endsWith(u'\n'))
        err.chop(1);
    // An empty line counts too: some libraries print one.
    for (const QString &line : err.split(u'\n', Qt::KeepEmptyParts)) {
#ifdef Q_OS_WIN
        // Under Wine the Windows platform plugin says that Wine lacks its DPI
        // calls.
        if (line.startsWith(QLatin1String("SetProcessDpiAwarenessContext("))
            || line.startsWith(QLatin1String("EnableNonClientDpiScaling()")))
            continue;
#endif
        messages << line;
    }
    return messages;
}
