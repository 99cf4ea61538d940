// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text file (or standard output) that takes whole lines: each goes out in a
// single unbuffered write, so a crash leaves only whole lines behind.
#include <QFile>
#include <QString>

#include <string>

class TLineLog {
public:
    // Opens Path for appending, creating it. False with Error() set when it
    // cannot be opened.
    bool OpenFile(const QString& Path);
    // Standard output, for a program whose output is the log.
    bool OpenStandardOutput();

    // True when the file holds nothing yet (a header belongs at its top).
    bool Empty() const;
    // Line plus a line end in one write. False with Error() set when the
    // write was refused or short.
    bool Append(const std::string& Line);

    QString Error() const { return error; }
    QString Name() const { return name; }

private:
    QFile file;
    QString name;
    QString error;
};
