#pragma once

#include <windows.h>
#include <mfidl.h>

#include <vector>

// Pictures and samples for the image tests.

struct RGB_COLOUR
{
    BYTE r;
    BYTE g;
    BYTE b;
};

// Top left, top right, bottom left, bottom right.
extern const RGB_COLOUR kQuadrantColours[4];

// A 32bpp BGRA picture of four flat quadrants in kQuadrantColours.
std::vector<BYTE> QuadrantPicture(UINT nWidth, UINT nHeight);

// The colour a quadrant picture has at (x, y).
RGB_COLOUR QuadrantColourAt(UINT nWidth, UINT nHeight, UINT x, UINT y);

// A sample holding one memory buffer whose current data are these bytes.
HRESULT CreateSampleFromBytes(const std::vector<BYTE>& bytes, IMFSample** ppSample);

// The current data of the sample's first buffer, and its maximum length.
std::vector<BYTE> SampleBytes(IMFSample* pSample, DWORD* pcbMaxLength = NULL);

// Y, U and V of pixel (x, y) of a YUY2 picture nWidth pixels wide.
void Yuy2PixelAt(const std::vector<BYTE>& yuy2, UINT nWidth, UINT x, UINT y, BYTE* pY, BYTE* pU,
                 BYTE* pV);

// The mean absolute difference of two pictures' bytes; 255 for pictures of
// different sizes or none.
double MeanAbsoluteDifference(const std::vector<BYTE>& a, const std::vector<BYTE>& b);
