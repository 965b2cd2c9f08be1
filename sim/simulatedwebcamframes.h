#pragma once

#include <windows.h>

#include <vector>

// What the simulated webcam shows. Frame n is a row of eight colour bars that
// drifts sideways by a sixty-fourth of the width per frame, under a band
// across the top eighth of the picture that carries n as a bar code. The band
// is pure black and white with neutral chroma, so the number can be read back
// from the luma (or the green channel) after JPEG compression, scaling and
// conversion to NV12.
//
// The bar code cuts the band's width into 24 equal cells: white, black, the 20
// low bits of n (most significant first, white for a 1), black, white.

const UINT32 kWebcamCounterBits = 20;
const UINT32 kWebcamCounterModulus = 1u << kWebcamCounterBits;
// Smallest picture that holds a readable bar code.
const UINT32 kWebcamMinWidth = 48;
const UINT32 kWebcamMinHeight = 8;

// One pixel of frame nFrame, as studio-range BT.601 Y'CbCr.
void GetWebcamPixel(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, UINT32 x, UINT32 y, BYTE* pY,
                    BYTE* pU, BYTE* pV);

// Draws frame nFrame. Each fails (false) for a picture smaller than the
// minimum, a stride too short for the width, or (YUY2) an odd width; the
// chroma of a YUY2 pixel pair is that of its left pixel.
bool DrawWebcamFrameYuy2(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, BYTE* pDst, UINT32 cbStride);
bool DrawWebcamFrameBgr24(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight, BYTE* pDst,
                          UINT32 cbStride);

// Reads the bar code back: pFirst is the first sample of the channel to read
// (luma or green), cbPixelStep the distance between two pixels of a row, and
// cbStride between two rows. Returns the frame number modulo
// kWebcamCounterModulus, or -1 when the band holds no clean bar code.
int ReadWebcamFrameCounter(const BYTE* pFirst, UINT32 nWidth, UINT32 nHeight, UINT32 cbPixelStep,
                           UINT32 cbStride);
int ReadWebcamFrameCounterYuy2(const BYTE* pPicture, UINT32 nWidth, UINT32 nHeight,
                               UINT32 cbStride);
int ReadWebcamFrameCounterBgr24(const BYTE* pPicture, UINT32 nWidth, UINT32 nHeight,
                                UINT32 cbStride);

// JPEG through wicjpeg.h, within the sizes the webcam draws. Pixels are 24-bit
// BGR. Decoding accepts only JPEG data and returns rows of nWidth * 3 bytes.
HRESULT EncodeWebcamJpeg(const BYTE* pBgr, UINT32 nWidth, UINT32 nHeight, UINT32 cbStride,
                         float fQuality, std::vector<BYTE>* pJpeg);
HRESULT DecodeWebcamJpeg(const BYTE* pJpeg, UINT32 cbJpeg, UINT32* pnWidth, UINT32* pnHeight,
                         std::vector<BYTE>* pBgr);

// Frame nFrame as the JPEG picture of an MJPG webcam.
HRESULT EncodeWebcamFrameJpeg(UINT32 nFrame, UINT32 nWidth, UINT32 nHeight,
                              std::vector<BYTE>* pJpeg);
