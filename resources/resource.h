#pragma once

// Resource ids of the program image.
#define IDR_PLACEHOLDER_JPEG 102  // RT_RCDATA: the placeholder picture
#define IDI_FRAMEPROVIDER 109     // the program icon
