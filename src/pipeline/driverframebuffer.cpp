#include "pipeline/driverframebuffer.h"

DriverFrameBuffer::DriverFrameBuffer(UINT32 cbPicture)
    : m_pBlock(NULL),
      m_cbPicture(cbPicture),
      m_cbTotal(cbPicture + sizeof(FRAME_HEADER)),
      m_bSizeOverflows(cbPicture > 0xFFFFFFFFu - sizeof(FRAME_HEADER))
{
}

DriverFrameBuffer::~DriverFrameBuffer()
{
    if (m_pBlock != NULL)
        VirtualFree(m_pBlock, 0, MEM_RELEASE);
}

HRESULT DriverFrameBuffer::Allocate()
{
    if (m_pBlock != NULL)
        return S_OK;
    if (m_bSizeOverflows)
        return E_INVALIDARG;
    m_pBlock = VirtualAlloc(NULL, m_cbTotal, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    return m_pBlock != NULL ? S_OK : E_OUTOFMEMORY;
}

BYTE* DriverFrameBuffer::GetPicture() const
{
    if (m_pBlock == NULL || m_cbPicture == 0)
        return NULL;
    return static_cast<BYTE*>(m_pBlock) + sizeof(FRAME_HEADER);
}
