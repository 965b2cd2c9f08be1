#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "diagnostics/survivinglock.h"
#include "pipeline/framerecords.h"

// The formats and sizes the driver's clients want, each at most once, the
// entries of one format in their order of arrival. Unknown formats, sizes no
// picture of the format can have and sizes beyond what is served (a side
// over 8192, a record over 64 MB: one log line each) are ignored.
class OutputFormatTable
{
public:
    typedef std::multimap<_COLOR_FORMAT, FORMAT_RESOLUTION_UNIT> Entries;

    OutputFormatTable() {}

    HRESULT AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight);
    HRESULT ClearOutputFormats();
    size_t GetOutputFormatCount(_COLOR_FORMAT eFormat);
    // A copy of the entries of one format, in table order.
    std::vector<FORMAT_RESOLUTION_UNIT> GetOutputFormats(_COLOR_FORMAT eFormat);
    // A copy of the whole table, for serving one frame without the lock.
    Entries CopyEntries();

private:
    OutputFormatTable(const OutputFormatTable&);
    OutputFormatTable& operator=(const OutputFormatTable&);

    // Called with m_lock held.
    bool HasOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight) const;

    Entries m_entries;  // guarded by m_lock
    // A mutex rather than a critical section: the delivery thread takes it
    // and may be ended by force, and an abandoned mutex passes to the next
    // waiter instead of blocking the pipeline for good. The entries are only
    // read by that thread, so they are intact then.
    SurvivingLock m_lock;
};
