// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileText.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

constexpr size_t MaxValue = 2047; // the reader's buffer holds 2048 characters with the terminator

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// One line of the file, without its line break.
struct Line {
    std::string_view text;
    size_t begin; // offset of the line in the contents
    size_t end;   // offset just past the line break
};

// A UTF-8 byte order mark, as Windows editors write it, is no part of the
// first line.
size_t textStart(const std::string& contents)
{
    return contents.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
}

// Lines end in LF, CR LF or a lone CR (files from old Macs and some editors).
std::vector<Line> splitLines(const std::string& contents)
{
    std::vector<Line> lines;
    size_t pos = textStart(contents);
    while (pos < contents.size()) {
        const size_t stop = std::min(contents.find_first_of("\r\n", pos), contents.size());
        size_t next = stop;
        if (next < contents.size())
            next += contents.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({std::string_view(contents).substr(pos, stop - pos), pos, next});
        pos = next;
    }
    return lines;
}

// The section named by a "[name]" line, or false for any other line.
bool sectionName(std::string_view line, std::string_view& name)
{
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    const size_t close = line.find(']');
    name = trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

bool isComment(std::string_view line)
{
    line = trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Splits "key=value"; a line without '=' is a key with an empty value.
void keyAndValue(std::string_view line, std::string_view& key, std::string_view& value)
{
    const size_t eq = line.find('=');
    key = trim(line.substr(0, eq));
    value = eq == std::string_view::npos ? std::string_view() : trim(line.substr(eq + 1));
}

// A value must stay on its line, whatever the caller hands in.
std::string oneLine(const std::string& value)
{
    std::string out = value;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return std::string(trim(out));
}

// A file may end in the middle of a line: finish that line, so that what is
// appended after it starts a line of its own. A lone carriage return already
// ends a line.
void endLastLine(std::string& Out, const std::string& Eol)
{
    if (Out.size() <= textStart(Out) || Out.back() == '\n' || Out.back() == '\r')
        return;
    Out += Eol;
}

// The file's own line end, so that what is added matches the rest.
std::string lineEndOf(const std::string& Contents)
{
    if (Contents.find("\r\n") != std::string::npos)
        return "\r\n";
    if (Contents.find('\n') == std::string::npos && Contents.find('\r') != std::string::npos)
        return "\r";
    return "\n";
}

} // namespace

std::string ProfileLookup(const std::string& Contents, const std::string& Section, const std::string& Key, bool& Found)
{
    Found = false;
    bool inSection = false;
    for (const Line& line : splitLines(Contents)) {
        std::string_view name;
        if (sectionName(line.text, name)) {
            inSection = sameName(name, Section);
            continue;
        }
        if (!inSection || isComment(line.text) || trim(line.text).empty())
            continue;
        std::string_view key, value;
        keyAndValue(line.text, key, value);
        if (sameName(key, Key)) {
            Found = true;
            return std::string(value.substr(0, MaxValue));
        }
    }
    return {};
}

std::string ProfileUpdate(const std::string& Contents, const std::string& Section, const std::string& Key, const std::string& Value)
{
    const std::string eol = lineEndOf(Contents);
    const std::vector<Line> lines = splitLines(Contents);
    const std::string value = oneLine(Value);

    bool inSection = false;
    bool sectionSeen = false;
    size_t insertAt = std::string::npos; // just past the last entry of the first matching section
    for (const Line& line : lines) {
        std::string_view name;
        if (sectionName(line.text, name)) {
            inSection = sameName(name, Section);
            if (inSection && !sectionSeen) {
                sectionSeen = true;
                insertAt = line.end;
            }
            continue;
        }
        if (!inSection || trim(line.text).empty())
            continue;
        if (!isComment(line.text)) {
            std::string_view key, old;
            keyAndValue(line.text, key, old);
            if (sameName(key, Key)) {
                const size_t stop = line.begin + line.text.size();
                return Contents.substr(0, line.begin) + std::string(key) + "=" + value + Contents.substr(stop);
            }
        }
        if (insertAt != std::string::npos && line.begin >= insertAt)
            insertAt = line.end;
    }

    const std::string entry = Key + "=" + value + eol;
    if (sectionSeen) {
        std::string out = Contents.substr(0, insertAt);
        endLastLine(out, eol);
        return out + entry + Contents.substr(insertAt);
    }
    std::string out = Contents;
    endLastLine(out, eol);
    return out + "[" + Section + "]" + eol + entry;
}

bool ProfileHasSection(const std::string& Contents, const std::string& Section)
{
    for (const Line& line : splitLines(Contents)) {
        std::string_view name;
        if (sectionName(line.text, name) && sameName(name, Section))
            return true;
    }
    return false;
}

const char* ProfileTextFault(const std::string& Contents)
{
    if (Contents.rfind("\xFF\xFE", 0) == 0 || Contents.rfind("\xFE\xFF", 0) == 0)
        return "is UTF-16 text, which is not read; save it as UTF-8 or plain ASCII";
    if (Contents.find('\0') != std::string::npos)
        return "holds NUL bytes and is not a text file";
    return nullptr;
}

bool ProfileHasByteOrderMark(const std::string& Contents)
{
    return textStart(Contents) != 0;
}
