#include "host/servingplan.h"

SERVING_PLAN PlanServing(const SERVING_FACTS& facts)
{
    SERVING_PLAN plan = {};
    switch (facts.eRead)
    {
    case REQUESTS_FAILED:
        plan.bRetryRead = true;
        plan.bLeaveAsIs = true;
        return plan;
    case REQUESTS_SUSPENDED:
        // Resuming signals the worker; the camera was stopped on suspend.
        plan.bLeaveAsIs = true;
        return plan;
    case REQUESTS_NONE:
        // The read loop was told to stop; it asks for the camera's stop.
        plan.bNoClient = true;
        return plan;
    case REQUESTS_READ:
        break;
    }

    if (facts.bTeExeAsks)
    {
        // The camera, if it runs for others, is left alone.
        plan.bPlaceholder = true;
        return plan;
    }
    if (!facts.bWebcamCanServe || facts.bWebcamStreaming)
        return plan;
    if (facts.bWebcamUsable)
        plan.bStartWebcam = true;
    else
        plan.bPlaceholder = facts.bPlaceholderWhileWebcamWaits;
    return plan;
}
