#include "testpictures.h"

#include <mfapi.h>
#include <stdlib.h>
#include <string.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

const RGB_COLOUR kQuadrantColours[4] = {
    {200, 40, 40},
    {40, 180, 60},
    {40, 60, 200},
    {220, 200, 60},
};

RGB_COLOUR QuadrantColourAt(UINT nWidth, UINT nHeight, UINT x, UINT y)
{
    return kQuadrantColours[(y < nHeight / 2 ? 0 : 2) + (x < nWidth / 2 ? 0 : 1)];
}

std::vector<BYTE> QuadrantPicture(UINT nWidth, UINT nHeight)
{
    std::vector<BYTE> bgra(static_cast<size_t>(nWidth) * nHeight * 4);
    for (UINT y = 0; y < nHeight; ++y)
    {
        for (UINT x = 0; x < nWidth; ++x)
        {
            RGB_COLOUR colour = QuadrantColourAt(nWidth, nHeight, x, y);
            BYTE* p = &bgra[(static_cast<size_t>(y) * nWidth + x) * 4];
            p[0] = colour.b;
            p[1] = colour.g;
            p[2] = colour.r;
            p[3] = 255;
        }
    }
    return bgra;
}

HRESULT CreateSampleFromBytes(const std::vector<BYTE>& bytes, IMFSample** ppSample)
{
    ComPtr<IMFSample> pSample;
    ComPtr<IMFMediaBuffer> pBuffer;
    BYTE* pData = NULL;
    HRESULT hr = MFCreateSample(&pSample);
    if (SUCCEEDED(hr))
        hr = MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), &pBuffer);
    if (SUCCEEDED(hr))
        hr = pBuffer->Lock(&pData, NULL, NULL);
    if (SUCCEEDED(hr))
    {
        memcpy(pData, bytes.data(), bytes.size());
        pBuffer->Unlock();
        hr = pBuffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    }
    if (SUCCEEDED(hr))
        hr = pSample->AddBuffer(pBuffer.Get());
    if (SUCCEEDED(hr))
        *ppSample = pSample.Detach();
    return hr;
}

std::vector<BYTE> SampleBytes(IMFSample* pSample, DWORD* pcbMaxLength)
{
    std::vector<BYTE> bytes;
    ComPtr<IMFMediaBuffer> pBuffer;
    BYTE* pData = NULL;
    DWORD cbMax = 0;
    DWORD cbCurrent = 0;
    if (SUCCEEDED(pSample->GetBufferByIndex(0, &pBuffer)) &&
        SUCCEEDED(pBuffer->Lock(&pData, &cbMax, &cbCurrent)))
    {
        bytes.assign(pData, pData + cbCurrent);
        pBuffer->Unlock();
    }
    if (pcbMaxLength != NULL)
        *pcbMaxLength = cbMax;
    return bytes;
}

void Yuy2PixelAt(const std::vector<BYTE>& yuy2, UINT nWidth, UINT x, UINT y, BYTE* pY, BYTE* pU,
                 BYTE* pV)
{
    const BYTE* pPair = &yuy2[static_cast<size_t>(y) * nWidth * 2 + (x & ~1u) * 2];
    *pY = pPair[(x & 1) ? 2 : 0];
    *pU = pPair[1];
    *pV = pPair[3];
}

double MeanAbsoluteDifference(const std::vector<BYTE>& a, const std::vector<BYTE>& b)
{
    if (a.size() != b.size() || a.empty())
        return 255.0;
    UINT64 nSum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        nSum += static_cast<UINT64>(abs(static_cast<int>(a[i]) - static_cast<int>(b[i])));
    return static_cast<double>(nSum) / static_cast<double>(a.size());
}
