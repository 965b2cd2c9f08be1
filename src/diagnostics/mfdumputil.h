#pragma once

#include <windows.h>

#include <mfidl.h>
#include <mfobjects.h>
#include <mftransform.h>
#include <propidl.h>

#include <stddef.h>

// Human-readable descriptions of Media Foundation objects, written line by
// line to the debug log. A debugging aid: nothing in the running system calls
// it, it keeps no state and changes nothing in the objects it reads.
//
// Every entry point takes an optional label; a non-empty label makes every
// line begin with "[label] ". A null object prints nothing. The dump never
// fails its caller: the entry points always return S_OK, and a step the
// object refuses only shortens the dump.

// Text buffers for the prefix, a key name and a value text.
const size_t kMFDumpTextCch = 260;

HRESULT DumpMFAttributes(IUnknown* pObject, const char* pszLabel);
HRESULT DumpMFMediaEvent(IMFMediaEvent* pEvent, const char* pszLabel);
HRESULT DumpMFMediaType(IMFMediaType* pType, const char* pszLabel);
HRESULT DumpMFTCapability(IMFTransform* pTransform, const char* pszLabel);
HRESULT DumpTopology(IMFTopology* pTopology, const char* pszLabel);

// One attribute line: prefix, key name (empty for a null key), ": ", value
// text. A null value prints nothing.
void DumpAttributeItem(const GUID* pguidKey, const PROPVARIANT* pValue, const char* pszLabel);

// The value text of one attribute, by variant type. Text that does not fit
// the buffer is cut and ends in "..."; the result is then S_FALSE.
HRESULT FormatAttributeValue(const GUID* pguidKey, const PROPVARIANT* pValue, char* pszText,
                             size_t cchText);

// One topology node: its id, type, attributes and connections.
void DumpTopologyNode(const char* pszLabel, IMFTopologyNode* pNode);

// The SDK name of a known GUID, otherwise its registry form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". GUID_NULL is never looked up.
HRESULT GetGuidName(REFGUID guid, char* pszName, size_t cchName);

// The SDK name of a GUID given as text, otherwise the text itself.
HRESULT GetGuidNameFromString(const wchar_t* pwszGuid, char* pszName, size_t cchName);
