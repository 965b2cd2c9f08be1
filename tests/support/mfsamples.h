#pragma once

#include <windows.h>
#include <mfobjects.h>
#include <wrl/client.h>

#include <vector>

// A sample whose one memory buffer holds exactly these bytes.
Microsoft::WRL::ComPtr<IMFSample> CreateSampleWithBytes(const std::vector<BYTE>& bytes);

// The bytes of a sample's first buffer, up to its current length.
std::vector<BYTE> ReadSampleBytes(IMFSample* pSample);

// A packed YUY2 picture of one colour.
std::vector<BYTE> FlatYuy2(UINT32 nWidth, UINT32 nHeight, BYTE y, BYTE u, BYTE v);
