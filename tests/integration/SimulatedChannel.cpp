// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedChannel.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {

constexpr int kBaud = 1200;
// The silence a period starts with, and the least it ends with: the last
// frame must be decoded before the period is over.
constexpr int kLeadMs = 150;
constexpr int kEndMs = 250;
// A station that was waiting keys up this soon after the channel clears;
// Dire Wolf 1.6 keys up 32 to 39 ms after the tail of the frame it repeats
// (measured from its 'T' reports).
constexpr int kKeyUpMs = 5;
constexpr int kDigipeaterReactionMs = 35;
// Room for a frame number: Dire Wolf repeats no frame it has repeated
// within the last 30 s.
constexpr int kShortestInfo = 8;

} // namespace

int64_t StuffedFrameBits(const std::string& frame)
{
    uint16_t crc = 0xFFFF;
    for (unsigned char byte : frame) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    std::string sent = frame;
    sent += static_cast<char>(~crc & 0xFF);
    sent += static_cast<char>((~crc >> 8) & 0xFF);
    int64_t bits = 0;
    int ones = 0;
    for (unsigned char byte : sent)
        for (int i = 0; i < 8; ++i) {
            ++bits;
            ones = (byte >> i) & 1 ? ones + 1 : 0;
            if (ones == 5) {
                ++bits;
                ones = 0;
            }
        }
    return bits;
}

SimulatedChannel::SimulatedChannel(int periodMs, std::string digipeaterCall, int digipeaterDelayMs,
                                   int digipeaterTailMs, int sampleRate)
    : periodMs(periodMs)
    , rate(sampleRate)
    , digiCall(std::move(digipeaterCall))
    , digiDelayMs(digipeaterDelayMs)
    , digiTailMs(digipeaterTailMs)
    // 150, 300 and 500 ms of preamble; tails of 13, 40 and 80 ms after the closing flag.
    , members{{"N0AAA-1", 23, 3}, {"N0BBB-2", 45, 7}, {"N0CCC-3", 75, 13}}
{
}

int64_t SimulatedChannel::samplesOfBits(int64_t bits) const
{
    return bits * rate / kBaud;
}

std::string SimulatedChannel::info(int length)
{
    // Different every time, so that no engine takes a frame for a duplicate.
    std::string text = "f" + std::to_string(frames++) + "-";
    while (static_cast<int>(text.size()) < length)
        text += static_cast<char>('a' + text.size() % 26);
    if (static_cast<int>(text.size()) != length)
        throw std::logic_error("information too short to be told apart");
    return text;
}

// Planned with information of the right length; the real text stuffs a few
// bits differently, which the room left at the end of the period absorbs.
int64_t SimulatedChannel::transmissionSamples(const Step& step, const std::string& text) const
{
    const ChannelStation& s = members[step.station];
    const std::vector<std::string> via = step.digipeated ? std::vector<std::string>{"WIDE1-1"} : std::vector<std::string>{};
    return samplesOfBits(8 * s.preambleFlags + StuffedFrameBits(uiFrame(s.call, "APRS", via, text)) +
                         8 * s.trailingFlags);
}

// Dire Wolf's TXDELAY, the frame with the closing flag, its TXTAIL.
int64_t SimulatedChannel::digipeatSamples(const Step& step, const std::string& text) const
{
    const ChannelStation& s = members[step.station];
    const std::string frame = uiFrame(s.call, "APRS", {digiCall + "*"}, text);
    return static_cast<int64_t>(digiDelayMs + digiTailMs) * rate / 1000 + samplesOfBits(StuffedFrameBits(frame) + 8);
}

ChannelPeriod SimulatedChannel::next(double load)
{
    const int index = count++;
    // A busy channel alternates between periods in which the digipeater
    // repeats one station's frame and another keys up after it, and periods
    // in which the three stations follow each other, each keying up as soon
    // as the channel clears. A quiet one has one station a period, and now
    // and then a frame the digipeater repeats.
    const size_t a = 0, b = 1, c = 2;
    static const std::vector<std::vector<Step>> busy = {
        {{a, true}, {b, false}}, {{a, false}, {b, false}, {c, false}}, {{b, true}, {a, false}},
        {{b, false}, {c, false}, {a, false}}, {{c, true}, {a, false}}, {{c, false}, {a, false}, {b, false}},
    };
    static const std::vector<std::vector<Step>> quiet = {
        {{a, false}}, {{b, false}}, {{a, false}}, {{b, false}}, {{a, true}},
    };
    const auto& plans = load > 0.4 ? busy : quiet;
    std::vector<Step> steps = plans[static_cast<size_t>(index) % plans.size()];

    const int64_t period = static_cast<int64_t>(periodMs) * rate / 1000;
    const int64_t room = period - static_cast<int64_t>(kLeadMs + kEndMs) * rate / 1000;
    const int64_t keyUp = static_cast<int64_t>(kKeyUpMs) * rate / 1000;
    const int64_t reaction = static_cast<int64_t>(kDigipeaterReactionMs) * rate / 1000;
    const auto busyFor = [&](const std::vector<Step>& plan, int length) {
        const std::string text(static_cast<size_t>(length), 'x');
        int64_t on = 0;
        for (const Step& s : plan)
            on += transmissionSamples(s, text) + (s.digipeated ? reaction + digipeatSamples(s, text) : 0);
        return on;
    };
    const auto spanOf = [&](const std::vector<Step>& plan, int length) {
        return busyFor(plan, length) + static_cast<int64_t>(plan.size()) * keyUp;
    };
    // Fewer transmissions when even the shortest frames overfill the period.
    while (steps.size() > 1 && spanOf(steps, kShortestInfo) > room)
        steps.pop_back();
    // The information length that brings the carrier closest to the load.
    const auto target = static_cast<int64_t>(load * static_cast<double>(period));
    int best = kShortestInfo;
    for (int length = kShortestInfo; length <= 200; ++length) {
        if (spanOf(steps, length) > room)
            break;
        if (std::llabs(busyFor(steps, length) - target) < std::llabs(busyFor(steps, best) - target))
            best = length;
    }

    ChannelPeriod out;
    out.audio.assign(static_cast<size_t>(period), 0);
    int64_t at = static_cast<int64_t>(kLeadMs) * rate / 1000;
    for (const Step& s : steps) {
        const ChannelStation& st = members[s.station];
        const std::string text = info(best);
        const std::vector<std::string> via = s.digipeated ? std::vector<std::string>{"WIDE1-1"} : std::vector<std::string>{};
        const Samples audio = hdlcAudio(uiFrame(st.call, "APRS", via, text), rate, st.preambleFlags, st.trailingFlags);
        if (static_cast<int64_t>(audio.size()) != transmissionSamples(s, text))
            throw std::logic_error("a transmission's length is not what its bits make");
        std::copy(audio.begin(), audio.end(), out.audio.begin() + at);
        std::string line = st.call + ">APRS";
        for (const auto& v : via)
            line += "," + v;
        out.transmissions.push_back({st.call, false, static_cast<int64_t>(audio.size()), line + ":" + text});
        ++out.heard;
        out.carrierSamples += static_cast<int64_t>(audio.size());
        at += static_cast<int64_t>(audio.size());
        if (s.digipeated) {
            const int64_t repeat = digipeatSamples(s, text);
            out.transmissions.push_back({digiCall, true, repeat, st.call + ">APRS," + digiCall + "*:" + text});
            ++out.digipeats;
            out.carrierSamples += repeat;
            at += reaction + repeat;
        }
        at += keyUp;
    }
    if (at > period)
        throw std::logic_error("the transmissions do not fit into the period");
    return out;
}
