#include "host/hostpipeline.h"

#include <windows.h>

#include "capture/mfcapturebuilder.h"
#include "host/hoststate.h"
#include "pipeline/framecontrolmanager.h"

namespace
{
FrameControlManager* gpStandalonePipeline = NULL;
HANDLE ghStandaloneReadNextSampleEvent = NULL;
}  // namespace

FrameControlManager* GetHostPipeline()
{
    if (gpCaptureBuilder != NULL)
        return gpCaptureBuilder->GetFrameControlManager();
    return gpStandalonePipeline;
}

void CreateStandalonePipeline()
{
    if (gpStandalonePipeline != NULL)
        return;
    // The same named event the capture builder would own, so that the host
    // and the pipeline reach it the same way.
    ghStandaloneReadNextSampleEvent = CreateEventA(NULL, TRUE, FALSE, "ReadNextSampleEvent");
    gpStandalonePipeline = new FrameControlManager(ghStandaloneReadNextSampleEvent);
}

void DestroyStandalonePipeline()
{
    delete gpStandalonePipeline;
    gpStandalonePipeline = NULL;
    if (ghStandaloneReadNextSampleEvent != NULL)
        CloseHandle(ghStandaloneReadNextSampleEvent);
    ghStandaloneReadNextSampleEvent = NULL;
}
