// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameAmounts.h"

#include "AGWUnit.h"

#include <algorithm>

namespace {
constexpr int64_t OverheadBytes = 19;
}

bool IsMonitoredKind(char Kind)
{
    return Kind == 'I' || Kind == 'S' || Kind == 'U' || IsOwnTransmission(Kind);
}

bool IsOwnTransmission(char Kind)
{
    return Kind == 'T';
}

FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header, std::string_view Data)
{
    int64_t info = 0;
    if (Header.FrameType == "UI" || Header.FrameType == "I") {
        // The length is an unsigned count on the wire.
        info = Header.HasInfoLen ? int64_t{static_cast<uint32_t>(Header.InfoLen)}
                                 : static_cast<int64_t>(MonitorInformation(Data).size());
    }
    return {1, info + OverheadBytes, info};
}

int64_t AddToTotal(int64_t Total, int64_t Amount)
{
    return std::min<int64_t>(Total + Amount, std::numeric_limits<int32_t>::max());
}
