#pragma once

#include <windows.h>

#include <stddef.h>

// One row of the table that names the GUIDs met in Media Foundation dumps:
// media types and subtypes, attribute keys, codec API properties and values,
// topology node attributes, device source attributes and kernel-streaming
// node types. Names are spelled as the Windows SDK headers spell them.
struct GUID_NAME_ENTRY
{
    const GUID* pGuid;
    const char* pszName;
};

// The rows in family order. One GUID has two names (the codec API's average
// bits per second); lookups search from the top, so its first name wins.
extern const GUID_NAME_ENTRY gGuidNameTable[];
extern const size_t gnGuidNameTableRows;

// Keys named in the table that the MinGW-w64 headers do not declare, with
// the values the Windows SDK gives them.
namespace sdkguid
{
extern const GUID MF_PD_AUDIO_ENCODING_BITRATE;
extern const GUID MF_PD_LAST_MODIFIED_TIME;
extern const GUID MF_PD_MIME_TYPE;
extern const GUID MF_PD_TOTAL_FILE_SIZE;
extern const GUID MF_PD_VIDEO_ENCODING_BITRATE;
extern const GUID MF_DEVICESTREAM_STREAM_ID;
extern const GUID MF_DEVICESTREAM_EXTENSION_PLUGIN_CLSID;
extern const GUID MF_DEVICESTREAM_EXTENSION_PLUGIN_CONNECTION_POINT;
extern const GUID MF_DEVICESTREAM_STREAM_CATEGORY;
extern const GUID MF_TOPONODE_FLUSH;
extern const GUID MF_SD_SAMI_LANGUAGE;
extern const GUID MF_PD_APP_CONTEXT;
extern const GUID MF_PD_PMPHOST_CONTEXT;
extern const GUID MF_PD_SAMI_STYLELIST;
extern const GUID MF_DEVICESTREAM_IMAGE_STREAM;
extern const GUID MF_DEVICESTREAM_INDEPENDENT_IMAGE_STREAM;
extern const GUID MFSampleExtension_DeviceTimestamp;
}  // namespace sdkguid
