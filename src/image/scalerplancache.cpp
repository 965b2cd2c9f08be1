#include "image/scalerplancache.h"

namespace
{
bool SameGeometry(const ScalerGeometry& a, const ScalerGeometry& b)
{
    return a.eLayout == b.eLayout && a.nInWidth == b.nInWidth && a.nInHeight == b.nInHeight &&
           a.nInStride == b.nInStride && a.nOutWidth == b.nOutWidth &&
           a.nOutHeight == b.nOutHeight && a.nOutStride == b.nOutStride;
}
}  // namespace

const size_t ScalerPlanCache::kCapacity;

ScalerPlanCache::ScalerPlanCache() : m_pCurrent(nullptr), m_nUses(0), m_nBuilds(0)
{
    for (Entry& entry : m_entries)
        entry.nLastUse = 0;
}

ScalerPlanCache::~ScalerPlanCache() {}

size_t ScalerPlanCache::KeptPlans() const
{
    size_t nKept = 0;
    for (const Entry& entry : m_entries)
    {
        if (entry.plan.IsConfigured())
            ++nKept;
    }
    return nKept;
}

ImageStatus ScalerPlanCache::Configure(const ScalerGeometry& geometry, ScalerFilter eFilter,
                                       ScalerAcceleration eLimit)
{
    m_pCurrent = nullptr;
    ++m_nUses;
    Entry* pVictim = &m_entries[0];
    for (Entry& entry : m_entries)
    {
        if (entry.plan.IsConfigured() && SameGeometry(entry.geometry, geometry) &&
            entry.eFilter == eFilter && entry.eLimit == eLimit)
        {
            entry.nLastUse = m_nUses;
            m_pCurrent = &entry.plan;
            return ImageStatus::Ok;
        }
        // An empty slot first, else the least recently used.
        if (pVictim->plan.IsConfigured() &&
            (!entry.plan.IsConfigured() || entry.nLastUse < pVictim->nLastUse))
            pVictim = &entry;
    }

    // Built aside, so that a refused geometry evicts nothing.
    ++m_nBuilds;
    ScalerPlan built;
    ImageStatus status = built.Configure(geometry, eFilter, eLimit);
    if (status != ImageStatus::Ok)
        return status;
    pVictim->plan.Swap(built);
    pVictim->geometry = geometry;
    pVictim->eFilter = eFilter;
    pVictim->eLimit = eLimit;
    pVictim->nLastUse = m_nUses;
    m_pCurrent = &pVictim->plan;
    return ImageStatus::Ok;
}

ImageStatus ScalerPlanCache::Process(const uint8_t* pSrc, uint8_t* pDst)
{
    if (m_pCurrent == nullptr)
        return pSrc == nullptr || pDst == nullptr ? ImageStatus::InvalidArgument
                                                  : ImageStatus::NotConfigured;
    return m_pCurrent->Process(pSrc, pDst);
}
