#pragma once

#include <windows.h>

#include <vector>

// Baseline JPEG in memory through the Windows Imaging Component, for the test
// MJPEG decoder, the simulated webcam and the tests. Each call initialises
// COM on the calling thread for its own duration when the thread has not.

// Encodes a picture of 32bpp BGRA (alpha ignored), 24bpp BGR or YUY2 rows;
// fQuality is the encoder's 0..1 image quality.
HRESULT EncodeBgrToJpeg(const BYTE* pBgr, UINT nWidth, UINT nHeight, UINT nStride,
                        std::vector<BYTE>* pJpeg, float fQuality = 0.9f);
HRESULT EncodeBgraToJpeg(const BYTE* pBgra, UINT nWidth, UINT nHeight, UINT nStride,
                         std::vector<BYTE>* pJpeg, float fQuality = 0.9f);
HRESULT EncodeYuy2ToJpeg(const BYTE* pYuy2, UINT nWidth, UINT nHeight, UINT nStride,
                         std::vector<BYTE>* pJpeg, float fQuality = 0.9f);

// Decodes a JPEG to 32bpp BGRA rows of nWidth * 4 bytes. Anything that is
// not a JPEG fails with the imaging component's code.
HRESULT DecodeJpegToBgra(const BYTE* pJpeg, size_t cbJpeg, std::vector<BYTE>* pBgra, UINT* pnWidth,
                         UINT* pnHeight);
