#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// One cold run of a command-line program: a fresh process, its output thrown
// away, its wall time and peak memory as the system counted them.
struct ToolRun {
    bool ok = false;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs `arguments` (the program first) once, cold.
inline ToolRun runToolCold(QList<QByteArray> arguments)
{
    ToolRun run;
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Runs quarrow-harvest (`tool`) on `input` with --url and --out.
inline ToolRun runHarvestTool(QByteArray tool, QByteArray url, QByteArray out, QByteArray input)
{
    return runToolCold({tool, "--url", url, "--out", out, input});
}

// The folder the benchmarks write their pages and output under:
// $QUARROW_BENCH_DIR, or the temporary folder.
inline QString benchFolder()
{
    return qEnvironmentVariable("QUARROW_BENCH_DIR", QDir::tempPath());
}

// The file "page.html" holding `make(bytes)`, written once per page maker and
// size for all the runs of a process; empty when it cannot be written.
inline QString benchPageFile(qsizetype bytes, QByteArray (*make)(qsizetype))
{
    static QHash<QPair<quintptr, qsizetype>, std::shared_ptr<QTemporaryDir>> pages;
    const QPair<quintptr, qsizetype> key(reinterpret_cast<quintptr>(make), bytes);
    if (!pages.contains(key)) {
        auto dir = std::make_shared<QTemporaryDir>(benchFolder() +
                                                   QStringLiteral("/quarrow-bench-XXXXXX"));
        QFile file(dir->filePath(QStringLiteral("page.html")));
        const QByteArray page = make(bytes);
        if (!dir->isValid() || !file.open(QIODevice::WriteOnly) || file.write(page) != page.size())
            return {};
        pages.insert(key, dir);
    }
    return pages.value(key)->filePath(QStringLiteral("page.html"));
}
