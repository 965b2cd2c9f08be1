#include "pipeline/outputformattable.h"

#include "diagnostics/debuglog.h"
#include "driver/driverprotocol.h"

namespace
{
// Beyond these a request is refused when the table is built: a picture of
// hundreds of megabytes would be allocated and committed again for every
// frame, and the scaler takes no side over 65535.
const UINT32 kMaxServedSide = 8192;
const UINT64 kMaxServedRecordBytes = 64ull * 1024 * 1024;

// Whether a request is within what the pipeline serves: both sides at most
// kMaxServedSide and, for the uncompressed formats, a frame record (header
// and picture) of at most kMaxServedRecordBytes.
bool IsWithinServedLimits(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
{
    if (nWidth > kMaxServedSide || nHeight > kMaxServedSide)
        return false;
    const UINT64 nPixels = static_cast<UINT64>(nWidth) * nHeight;
    UINT64 cbPicture = 0;
    if (eFormat == COLOR_FORMAT_YUY2)
        cbPicture = nPixels * 2;
    else if (eFormat == COLOR_FORMAT_NV12)
        cbPicture = nPixels * 3 / 2;
    return cbPicture + sizeof(FRAME_HEADER) <= kMaxServedRecordBytes;
}

// Sizes that no picture of the format can have are never served: an empty
// picture, a YUY2 or NV12 picture with half a macropixel or half a chroma
// row, or one whose byte count does not fit 32 bits.
bool IsServableSize(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
{
    UINT32 cbSize = 0;
    if (nWidth == 0 || nHeight == 0)
        return false;
    switch (eFormat)
    {
    case COLOR_FORMAT_YUY2:
        return nWidth % 2 == 0 && GetYuy2FrameSize(nWidth, nHeight, &cbSize);
    case COLOR_FORMAT_NV12:
        return nWidth % 2 == 0 && nHeight % 2 == 0 && GetYuy2FrameSize(nWidth, nHeight, &cbSize);
    default:
        return true;
    }
}
}  // namespace

HRESULT OutputFormatTable::AddOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight)
{
    if (IsHandledColorFormat(eFormat) && !IsServableSize(eFormat, nWidth, nHeight))
    {
        LogPrint("AddOutputFormat: no picture can be %d x %d in format %d; not served\n", nWidth,
                 nHeight, eFormat);
        return S_OK;
    }
    if (IsHandledColorFormat(eFormat) && !IsWithinServedLimits(eFormat, nWidth, nHeight))
    {
        LogPrint(
            "AddOutputFormat: %d x %d in format %d is beyond what is served (a side over "
            "%d or a record over 64 MB); not served\n",
            nWidth, nHeight, eFormat, kMaxServedSide);
        return S_OK;
    }

    SurvivingLockGuard guard(m_lock);
    if (IsHandledColorFormat(eFormat) && !HasOutputFormat(eFormat, nWidth, nHeight))
    {
        FORMAT_RESOLUTION_UNIT resolution = {nWidth, nHeight};
        // A multimap inserts after the existing entries of the same key.
        m_entries.insert(Entries::value_type(eFormat, resolution));
    }
    return S_OK;
}

HRESULT OutputFormatTable::ClearOutputFormats()
{
    SurvivingLockGuard guard(m_lock);
    m_entries.clear();
    return S_OK;
}

size_t OutputFormatTable::GetOutputFormatCount(_COLOR_FORMAT eFormat)
{
    SurvivingLockGuard guard(m_lock);
    return m_entries.count(eFormat);
}

std::vector<FORMAT_RESOLUTION_UNIT> OutputFormatTable::GetOutputFormats(_COLOR_FORMAT eFormat)
{
    std::vector<FORMAT_RESOLUTION_UNIT> entries;
    SurvivingLockGuard guard(m_lock);
    auto range = m_entries.equal_range(eFormat);
    for (auto it = range.first; it != range.second; ++it)
        entries.push_back(it->second);
    return entries;
}

OutputFormatTable::Entries OutputFormatTable::CopyEntries()
{
    SurvivingLockGuard guard(m_lock);
    return m_entries;
}

bool OutputFormatTable::HasOutputFormat(_COLOR_FORMAT eFormat, UINT32 nWidth, UINT32 nHeight) const
{
    auto range = m_entries.equal_range(eFormat);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second.width == nWidth && it->second.height == nHeight)
            return true;
    }
    return false;
}
