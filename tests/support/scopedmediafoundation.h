#pragma once

#include <windows.h>

// COM (multithreaded apartment) and Media Foundation started on the calling
// thread for as long as the object lives.
class ScopedMediaFoundation
{
public:
    ScopedMediaFoundation();
    ~ScopedMediaFoundation();

    HRESULT GetResult() const { return m_hr; }

private:
    ScopedMediaFoundation(const ScopedMediaFoundation&);
    ScopedMediaFoundation& operator=(const ScopedMediaFoundation&);

    bool m_bComInitialized;
    HRESULT m_hr;
};
