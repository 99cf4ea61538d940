// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text file (or standard output) that takes whole lines: each goes out in a
// single unbuffered write, and a write the disk cut short is taken back to
// the last whole line, so the file never holds a line glued to half another.
// A file opened by name follows its name: renamed or deleted (log rotation),
// it is opened again at the next line.
#include <QByteArray>
#include <QString>

#include <string>

class TLineLog {
public:
    TLineLog() = default;
    ~TLineLog();
    TLineLog(const TLineLog&) = delete;
    TLineLog& operator=(const TLineLog&) = delete;

    // Whether Path (the name's bytes) leads to anything at all, and to an
    // ordinary file: something else, a FIFO say, could wait when read.
    static bool Exists(const QByteArray& Path);
    static bool IsOrdinaryFile(const QByteArray& Path);

    // Opens Path (the name's bytes as the system takes them) for appending,
    // creating it. Never waits: a FIFO without a reader is refused. False
    // with Error() set when it cannot be opened.
    bool OpenFile(const QByteArray& Path);
    // Standard output, for a program whose output is the log.
    bool OpenStandardOutput();
    // Opens the file's name again (after a rotation); standard output stays.
    bool Reopen();
    // Opens the name again when it no longer leads to the open file (renamed
    // or deleted). True when it did, or had no need to.
    bool FollowName();

    // True when an ordinary file holds nothing yet (a header belongs at its
    // top); a pipe or terminal is never empty.
    bool Empty() const;
    // An ordinary file, as opposed to a pipe, FIFO or terminal.
    bool IsFile() const { return regular; }
    // Line plus a line end, whole or not at all. False with Error() set when
    // the write was refused or short; a part already written to a file is
    // cut off again, and a part that reached a pipe is finished first at
    // the next line.
    bool Append(const std::string& Line);
    // The reader of the pipe or FIFO has gone: nothing will be read again.
    bool ReaderGone() const { return readerGone; }

    QString Error() const { return error; }
    QString Name() const { return name; }

private:
    bool openPath();
    void closeFile();

    int fd = -1;
    bool ownFd = false;
    bool regular = false;
    bool readerGone = false;
    QByteArray path; // empty for standard output
    QString name;
    QString error;
    // What a pipe has not taken of a line begun, sent before the next one.
    std::string unsent;
};
