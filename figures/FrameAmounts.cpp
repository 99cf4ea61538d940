#include "FrameAmounts.h"

#include "AGWUnit.h"

#include <algorithm>

namespace {
constexpr int64_t OverheadBytes = 19;
}

bool IsMonitoredKind(char Kind)
{
    return Kind == 'I' || Kind == 'S' || Kind == 'U';
}

FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header)
{
    // The length is an unsigned count on the wire.
    const int64_t info = static_cast<uint32_t>(Header.InfoLen);
    return {1, info + OverheadBytes, info};
}

int64_t AddToTotal(int64_t Total, int64_t Amount)
{
    return std::min<int64_t>(Total + Amount, std::numeric_limits<int32_t>::max());
}
