#include "decodedpicturecache.h"

#include <algorithm>
#include <utility>

namespace
{
// FNV-1a: quick to reject most entries before the full comparison.
UINT64 HashBytes(const std::vector<BYTE>& bytes)
{
    UINT64 nHash = 14695981039346656037ull;
    for (BYTE b : bytes)
    {
        nHash ^= b;
        nHash *= 1099511628211ull;
    }
    return nHash;
}
}  // namespace

DecodedPictureCache::DecodedPictureCache(size_t nCapacity) : m_nCapacity(nCapacity) {}

const std::vector<BYTE>* DecodedPictureCache::Find(const std::vector<BYTE>& compressed,
                                                   UINT32 nWidth, UINT32 nHeight)
{
    const UINT64 nHash = HashBytes(compressed);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const Entry& entry)
                           {
                               return entry.nHash == nHash && entry.nWidth == nWidth &&
                                      entry.nHeight == nHeight && entry.compressed == compressed;
                           });
    if (it == m_entries.end())
        return NULL;
    Entry found = std::move(*it);
    m_entries.erase(it);
    m_entries.push_back(std::move(found));
    return &m_entries.back().picture;
}

void DecodedPictureCache::Add(const std::vector<BYTE>& compressed, UINT32 nWidth, UINT32 nHeight,
                              const BYTE* pPicture, size_t cbPicture)
{
    if (m_nCapacity == 0)
        return;
    if (m_entries.size() >= m_nCapacity)
        m_entries.pop_front();
    Entry entry;
    entry.nHash = HashBytes(compressed);
    entry.nWidth = nWidth;
    entry.nHeight = nHeight;
    entry.compressed = compressed;
    entry.picture.assign(pPicture, pPicture + cbPicture);
    m_entries.push_back(std::move(entry));
}
