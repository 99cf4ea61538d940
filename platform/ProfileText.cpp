// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileText.h"

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

std::vector<Line> splitLines(const std::string& contents)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < contents.size()) {
        size_t nl = contents.find('\n', pos);
        const size_t next = nl == std::string::npos ? contents.size() : nl + 1;
        size_t stop = nl == std::string::npos ? contents.size() : nl;
        if (stop > pos && contents[stop - 1] == '\r')
            --stop;
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

// A file may end in the middle of a line, even after a lone carriage return
// that the reader took as the line's end: finish that line, so that what is
// appended after it starts a line of its own.
void endLastLine(std::string& Out, const std::string& Eol)
{
    if (Out.empty() || Out.back() == '\n')
        return;
    Out += Out.back() == '\r' ? std::string("\n") : Eol;
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
    const std::string eol = Contents.find("\r\n") != std::string::npos ? "\r\n" : "\n";
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
