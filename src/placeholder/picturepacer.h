#pragma once

#include <windows.h>

// Keeps a timer-driven picture source at its rate. A window timer's next
// tick is counted from when the last one was handled, so ticks drift below
// the rate; a tick that finds the pictures a whole frame behind is told to
// queue the one owed. After a longer pause (a busy window thread) the count
// starts afresh, so the pause is never made up in a burst. Times are the
// caller's milliseconds, so a test steps them.
class PicturePacer
{
public:
    explicit PicturePacer(UINT32 nPicturesPerSecond) : m_nRate(nPicturesPerSecond) {}

    void Start(DWORD dwNow)
    {
        m_dwStart = dwNow;
        m_nQueued = 0;
    }

    // How many pictures a tick at dwNow queues: one, or two when behind.
    UINT32 PicturesForTick(DWORD dwNow)
    {
        UINT64 nDue = static_cast<UINT64>(dwNow - m_dwStart) * m_nRate / 1000 + 1;
        UINT32 nPictures = 1;
        if (nDue > m_nQueued + kMostOwed)
            m_nQueued = nDue - 1;
        else if (nDue > m_nQueued + 1)
            nPictures = 2;
        m_nQueued += nPictures;
        return nPictures;
    }

private:
    // Owed pictures beyond this are forgotten rather than sent in a burst.
    static const UINT64 kMostOwed = 3;

    UINT32 m_nRate;
    DWORD m_dwStart = 0;
    UINT64 m_nQueued = 0;
};
