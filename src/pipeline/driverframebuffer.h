#pragma once

#include <windows.h>

#include "driver/driverprotocol.h"

// Owns one IOCTL_AVSHWS_SET_FRAME record in freshly committed, page-aligned
// memory: the 12-byte header followed by the picture.
class DriverFrameBuffer
{
public:
    explicit DriverFrameBuffer(UINT32 cbPicture);
    ~DriverFrameBuffer();

    // S_OK when a block exists or was committed; E_OUTOFMEMORY when the
    // system refuses; E_INVALIDARG when the record length overflows 32 bits.
    HRESULT Allocate();

    FRAME_HEADER* GetHeader() const { return static_cast<FRAME_HEADER*>(m_pBlock); }
    BYTE* GetPicture() const;
    UINT32 GetTotalSize() const { return m_cbTotal; }

private:
    DriverFrameBuffer(const DriverFrameBuffer&);
    DriverFrameBuffer& operator=(const DriverFrameBuffer&);

    void* m_pBlock;
    UINT32 m_cbPicture;
    UINT32 m_cbTotal;
    bool m_bSizeOverflows;
};
