// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the history store of a settings file lives, and the times the export
// takes on the command line.
#include <QString>

#include <cstdint>
#include <optional>

// $XDG_DATA_HOME/chanload/<settings file name without extension>.sqlite
QString DefaultStorePath(const QString& SettingsFile);

// A time of the command line, in seconds since 1970-01-01 UTC: Unix seconds
// ("1796000000"), a date ("2026-12-01", UTC) or a date and time
// ("2026-12-01T18:30", "2026-12-01T18:30:00Z", "2026-12-01T18:30:00+01:00";
// UTC unless an offset is given). A date as the end of a range means the end
// of that day: EndOfRange is then set. Nothing when the text is none of these.
std::optional<int64_t> ParseCommandLineTime(const QString& Text, bool EndOfRange);
