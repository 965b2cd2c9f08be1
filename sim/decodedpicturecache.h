#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <vector>

// Remembers the pictures a decoder made from compressed data, so that the
// same compressed picture met again is copied instead of decoded again. The
// simulated webcam sends a small set of JPEG pictures over and over; decoding
// every one through the imaging component would make the double, not the
// host, the slowest part of every run. Entries match on the whole
// compressed data and the output size, never on a hash alone.
class DecodedPictureCache
{
public:
    explicit DecodedPictureCache(size_t nCapacity);

    // The picture made from this data at this output size, or NULL.
    const std::vector<BYTE>* Find(const std::vector<BYTE>& compressed, UINT32 nWidth,
                                  UINT32 nHeight);
    // Keeps a copy; the entry used least recently makes room.
    void Add(const std::vector<BYTE>& compressed, UINT32 nWidth, UINT32 nHeight,
             const BYTE* pPicture, size_t cbPicture);

private:
    struct Entry
    {
        UINT64 nHash;
        UINT32 nWidth;
        UINT32 nHeight;
        std::vector<BYTE> compressed;
        std::vector<BYTE> picture;
    };

    size_t m_nCapacity;
    std::deque<Entry> m_entries;  // most recently used at the back
};
