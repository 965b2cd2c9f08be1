#pragma once

#include <stddef.h>
#include <stdint.h>

#include "image/imagestatus.h"
#include "image/scalerkernel.h"

// The plans of the last few geometries a scaler was configured for. The
// pipeline configures its one scaler anew before every frame of every
// request, so requests of different sizes alternate; each keeps its tables
// here instead of having them rebuilt on every turn. The least recently
// used plan makes room for a new one.
class ScalerPlanCache
{
public:
    static const size_t kCapacity = 8;

    ScalerPlanCache();
    ~ScalerPlanCache();

    // Makes the plan of these arguments the current one, building it only
    // when none is kept. On a failure (ScalerPlan::Configure's) there is no
    // current plan; the kept ones stay.
    ImageStatus Configure(const ScalerGeometry& geometry, ScalerFilter eFilter,
                          ScalerAcceleration eLimit);

    // The current plan's Process; NotConfigured when there is none.
    ImageStatus Process(const uint8_t* pSrc, uint8_t* pDst);

    // No current plan (the kept ones stay).
    void ForgetCurrent() { m_pCurrent = nullptr; }

    const ScalerPlan* Current() const { return m_pCurrent; }
    size_t KeptPlans() const;
    // How many plans were built in all: what the cache saves is visible.
    uint64_t Builds() const { return m_nBuilds; }

private:
    ScalerPlanCache(const ScalerPlanCache&);
    ScalerPlanCache& operator=(const ScalerPlanCache&);

    struct Entry
    {
        ScalerPlan plan;
        ScalerGeometry geometry;
        ScalerFilter eFilter;
        ScalerAcceleration eLimit;
        uint64_t nLastUse;
    };

    Entry m_entries[kCapacity];
    ScalerPlan* m_pCurrent;
    uint64_t m_nUses;
    uint64_t m_nBuilds;
};
