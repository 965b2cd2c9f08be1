#include "mfsamples.h"

#include <mfapi.h>
#include <string.h>

Microsoft::WRL::ComPtr<IMFSample> CreateSampleWithBytes(const std::vector<BYTE>& bytes)
{
    Microsoft::WRL::ComPtr<IMFSample> pSample;
    Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
    DWORD cbMax = bytes.empty() ? 1 : static_cast<DWORD>(bytes.size());
    if (FAILED(MFCreateSample(&pSample)) || FAILED(MFCreateMemoryBuffer(cbMax, &pBuffer)))
        return NULL;
    BYTE* pData = NULL;
    if (SUCCEEDED(pBuffer->Lock(&pData, NULL, NULL)))
    {
        if (!bytes.empty())
            memcpy(pData, bytes.data(), bytes.size());
        pBuffer->Unlock();
    }
    pBuffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    pSample->AddBuffer(pBuffer.Get());
    return pSample;
}

std::vector<BYTE> ReadSampleBytes(IMFSample* pSample)
{
    std::vector<BYTE> bytes;
    Microsoft::WRL::ComPtr<IMFMediaBuffer> pBuffer;
    if (pSample == NULL || FAILED(pSample->GetBufferByIndex(0, &pBuffer)))
        return bytes;
    BYTE* pData = NULL;
    DWORD cbCurrent = 0;
    if (SUCCEEDED(pBuffer->Lock(&pData, NULL, &cbCurrent)))
    {
        bytes.assign(pData, pData + cbCurrent);
        pBuffer->Unlock();
    }
    return bytes;
}

std::vector<BYTE> FlatYuy2(UINT32 nWidth, UINT32 nHeight, BYTE y, BYTE u, BYTE v)
{
    std::vector<BYTE> bytes(static_cast<size_t>(nWidth) * nHeight * 2);
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
    {
        bytes[i] = y;
        bytes[i + 1] = u;
        bytes[i + 2] = y;
        bytes[i + 3] = v;
    }
    return bytes;
}
