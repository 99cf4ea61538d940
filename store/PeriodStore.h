// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The evaluated periods in an SQLite file, so that the history outlives the
// program: one row per period for the last 31 days, and one row per hour for
// two years (each period joins its hour as it is written, so the long spans
// read hours only). docs/history.md describes the tables.
//
// One store per settings file, written by one program at a time (a lock file
// beside it says who). Readers such as the sqlite3 shell or Grafana never
// block it: the file is in WAL mode and each period is one short transaction.
// Every fault leaves the meter running: Write returns false and Error() says
// why; a file that is not a sound database is set aside, never deleted.
#include <QElapsedTimer>
#include <QLockFile>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "HourFigures.h"
#include "PeriodRecord.h"

class TStoreTable;

class TPeriodStore : public QObject {
    Q_OBJECT
public:
    static constexpr int SchemaVersion = 1;
    // Periods younger than this (behind the newest stored one) stay as they are.
    static constexpr int64_t RawSeconds = 31 * 86400;
    // Hourly rows older than this (behind the newest period) go.
    static constexpr int64_t HourlySeconds = 731 * 86400;
    // A fold starts at most this often.
    static constexpr int64_t FoldEverySeconds = 3600;
    // Periods folded in one step: an hour of 30-second periods, about a
    // millisecond of work.
    static constexpr int FoldStepRows = 120;
    // The fold copies the write-ahead log into the file (and syncs the disk)
    // after this many commits: about every three hours of 30-second periods,
    // some 1000 pages of log, as often as SQLite would by itself.
    static constexpr int CheckpointCommits = 360;

    explicit TPeriodStore(QObject* parent = nullptr);
    ~TPeriodStore() override;
    TPeriodStore(const TPeriodStore&) = delete;
    TPeriodStore& operator=(const TPeriodStore&) = delete;

    // A table of another job kept in the same file and transactions; before
    // Open. Not owned; it must outlive the store.
    void AddTable(TStoreTable* Table);

    // Opens the store at Path, making it and its folder when missing. False,
    // with Error() set and the store closed, when it cannot be used: another
    // program has it, it cannot be opened or written, or a newer ChanLoad
    // made it. A file that is not a sound database is renamed aside with a
    // time suffix and a new store started; Notice() then says where it went.
    bool Open(const QString& Path);
    // Opens an existing store for reading only (the export); no lock taken.
    bool OpenForReading(const QString& Path);
    void Close();
    bool IsOpen() const { return db.isOpen(); }
    QString Path() const { return path; }

    // The last fault, one sentence naming the file.
    QString Error() const { return error; }
    // Something worth saying once that is no fault (a file set aside, the
    // clock behind the stored periods); cleared by TakeNotice.
    QString TakeNotice();

    // The period, and the rows of the added tables, in one transaction. The
    // row's time is the record's, unless the wall clock is behind the stored
    // periods: then the periods are timed by the monotonic clock from the last
    // stored one, so that rows never go back in time. False with Error() set;
    // nothing of the period is then stored.
    bool Write(const PeriodRecord& Record);
    // The time the last written period was stored under (0: none yet).
    int64_t LastTime() const { return lastTime; }

    // The stored periods with From <= time <= To, oldest first. Periods
    // already folded into hours are not among them.
    std::vector<PeriodRecord> Periods(int64_t From, int64_t To);
    // Calls Each for them, one at a time; false with Error() set on a fault.
    bool ForEachPeriod(int64_t From, int64_t To, const std::function<void(const PeriodRecord&)>& Each);
    // Hours starting From <= time <= To, oldest first.
    std::vector<HourFigures> Hours(int64_t From, int64_t To);
    // Lets go of the cached pages that no statement holds, after a read
    // whose pages the writes will not need (the history read at start);
    // false with Error() set on a fault.
    bool ReleaseCache();

    // One small step of folding: deleting the oldest periods beyond
    // RawSeconds (their hours hold them already), or hourly rows beyond
    // HourlySeconds, or, last, a checkpoint of the write-ahead log. True when
    // there is more to do. Write starts a run of steps, one per turn of the
    // event loop, at most once every FoldEverySeconds.
    bool FoldStep();
    bool Folding() const { return foldTimer.isActive(); }
    // The next fold step is the one that copies the log and syncs the disk.
    bool CheckpointNext() const { return checkpointNext; }

    // For other jobs' views of their own tables (read only).
    QSqlDatabase Database() const { return db; }

signals:
    // A write or fold failed; the text is Error().
    void Failed(const QString& Message);

private:
    bool openFile(bool& Corrupt);
    bool prepare();
    bool run(const QString& Statement);
    bool fail(const QString& What, const QSqlError& Why);
    int64_t storedTime(int64_t WallTime);
    bool setAside();
    bool expireStep(int64_t Before, bool& Done);
    // Counts a fold step's commit; true when the next step is a checkpoint.
    bool checkpointDue();

    QString connection, path, error, notice;
    QSqlDatabase db;
    std::unique_ptr<QSqlQuery> insert, hour;
    std::unique_ptr<QLockFile> lock;
    std::vector<TStoreTable*> tables;
    QTimer foldTimer;
    int64_t lastTime = 0;
    int64_t lastFoldStart = 0;
    // The monotonic clock's base: stored time = baseMs + since.elapsed().
    QElapsedTimer since;
    int64_t baseMs = 0;
    bool behind = false;
    bool readOnly = false;
    // Commits since the write-ahead log was last copied into the file; the
    // fold's next step copies it once there are CheckpointCommits.
    int commitsSinceCheckpoint = 0;
    bool checkpointNext = false;
};
