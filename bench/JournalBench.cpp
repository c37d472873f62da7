// What the service journal adds to a parameter write the device confirmed: the session raises
// the record from its acknowledgement handling and the journal formats and appends it (open,
// flock, one O_APPEND write, close) before the handling goes on. ParameterRecord: one such
// record, in a journal in TMPDIR (or /tmp) that grows by a line each time, so the moves of the
// oldest half at 10 MiB are part of the average. MoveOldestHalf: the one append that finds the
// journal full (10 MiB of records moved to a numbered copy), the worst case of a single write.
#include "platform/Component.h"
#include "session/DeviceSession.h"
#include "session/ServiceJournal.h"
#include "support/JournalFile.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace fk;

namespace {

String Folder()
{
    const char* tmp = std::getenv("TMPDIR");
    return String(tmp && *tmp ? tmp : "/tmp") + "/fk-journal-bench";
}

void RemoveJournal(const String& path)
{
    for (const String& part : TJournalFile::Parts(path))
        std::remove(part.c_str());
}

void BM_ParameterRecord(benchmark::State& state)
{
    const String path = Folder() + "/journal.jsonl";
    RemoveJournal(path);
    TOwned<TDeviceSession> session = Make<TDeviceSession>();
    TServiceJournal journal("ferrovan set", path);
    TSessionRecord record;
    record.Kind = srParameter;
    record.Offset = 0;
    record.Old = 20;
    record.New = 25;
    bool ok = true;
    for (auto _ : state)
        ok = journal.Write(*session, record) && ok;
    if (!ok)
        state.SkipWithError(journal.File().FailureText().c_str());
    state.SetItemsProcessed(state.iterations());
    RemoveJournal(path);
}
BENCHMARK(BM_ParameterRecord)->Unit(benchmark::kMicrosecond);

void BM_MoveOldestHalf(benchmark::State& state)
{
    const String path = Folder() + "/full.jsonl";
    const std::string line(299, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        RemoveJournal(path);
        TJournalFile file(path, TJournalFile::DefaultLimit);
        {
            std::string content;
            while (content.size() + 300 <= TJournalFile::DefaultLimit)
                content += line + "\n";
            content.pop_back();
            file.Append(content); // one line of 10 MiB less a little: the next append moves it
        }
        state.ResumeTiming();
        file.Append(line);
    }
    RemoveJournal(path);
}
BENCHMARK(BM_MoveOldestHalf)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the session's timers belong to a Qt main thread
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
