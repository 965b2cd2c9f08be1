#pragma once

#include <windows.h>

// COM (multithreaded) and Media Foundation for the calling thread while the
// object lives, as the host's threads have them.
class ScopedMediaFoundation
{
public:
    ScopedMediaFoundation();
    ~ScopedMediaFoundation();

    HRESULT Result() const { return m_hrStartup; }

private:
    ScopedMediaFoundation(const ScopedMediaFoundation&);
    ScopedMediaFoundation& operator=(const ScopedMediaFoundation&);

    HRESULT m_hrCom;
    HRESULT m_hrStartup;
};
