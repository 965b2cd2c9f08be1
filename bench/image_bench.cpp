// Benchmarks of the image kernels against libyuv, libswscale and memcpy,
// with a table of ratios measured in the same run (scripts/bench-image.sh).
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C"
{
#include <libswscale/swscale.h>
}

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "benchpictures.h"
#include "image/cropkernel.h"
#include "image/scalerkernel.h"
#include "image/yuy2tonv12kernel.h"
#include "referenceresample.h"

namespace
{
const int kLibyuvSse2Only = libyuv::kCpuInitialized | libyuv::kCpuHasX86 | libyuv::kCpuHasSSE2;

std::string SizeName(uint32_t nWidth, uint32_t nHeight)
{
    return std::to_string(nWidth) + "x" + std::to_string(nHeight);
}

// ---------------------------------------------------------------------------
// Conversion

struct ConversionCase
{
    uint32_t nWidth, nHeight;
    std::vector<uint8_t> src;
    std::vector<uint8_t> dst;
    std::vector<uint8_t> copy;
};

void ConvertWith(benchmark::State& state, ConversionCase* c, Yuy2ToNv12Path ePath)
{
    for (auto _ : state)
    {
        ConvertYuy2ToNv12Kernel(ePath, c->src.data(), c->nWidth, c->nHeight, c->nWidth * 2,
                                c->dst.data(), c->nWidth, c->nHeight, c->nWidth);
        benchmark::ClobberMemory();
    }
}

void ConvertWithLibyuv(benchmark::State& state, ConversionCase* c, int nCpuMask)
{
    libyuv::MaskCpuFlags(nCpuMask);
    uint8_t* pLuma = c->dst.data();
    uint8_t* pChroma = pLuma + static_cast<size_t>(c->nWidth) * c->nHeight;
    for (auto _ : state)
    {
        libyuv::YUY2ToNV12(c->src.data(), static_cast<int>(c->nWidth * 2), pLuma,
                           static_cast<int>(c->nWidth), pChroma, static_cast<int>(c->nWidth),
                           static_cast<int>(c->nWidth), static_cast<int>(c->nHeight));
        benchmark::ClobberMemory();
    }
    libyuv::MaskCpuFlags(-1);
}

void CopySource(benchmark::State& state, ConversionCase* c)
{
    for (auto _ : state)
    {
        memcpy(c->copy.data(), c->src.data(), c->src.size());
        benchmark::ClobberMemory();
    }
}

// ---------------------------------------------------------------------------
// Resize

struct ResizeCase
{
    uint32_t nSrcWidth, nSrcHeight, nDstWidth, nDstHeight;
    std::vector<uint8_t> src;
    CropRegion crop;
    std::vector<uint8_t> dst;
    // The source split into planes for libyuv, and its planar output.
    std::vector<uint8_t> srcY, srcU, srcV, dstY, dstU, dstV;
    const uint8_t* CropStart() const
    {
        return src.data() + (static_cast<size_t>(crop.nTop) * nSrcWidth + crop.nLeft) * 2;
    }
    std::string Name() const
    {
        return SizeName(nSrcWidth, nSrcHeight) + "->" + SizeName(nDstWidth, nDstHeight);
    }
};

// What FrameControlManager::ResizeFrame does, on the native kernels: the
// centred crop into a fresh buffer, then the built-in scaler configured for
// the frame (the component keeps its tables while the sizes repeat).
ImageStatus ResizeLikeTheProduct(ScalerPlan* pPlan, const ResizeCase& c, uint8_t* pDst,
                                 ScalerAcceleration eAcceleration)
{
    const uint8_t* pSource = c.src.data();
    uint32_t nWidth = c.nSrcWidth, nHeight = c.nSrcHeight;
    uint8_t* pCrop = nullptr;
    CropRegion region;
    ImageStatus status = ImageStatus::Ok;
    if (ComputeCentredCrop(c.nSrcWidth, c.nSrcHeight, c.nDstWidth, c.nDstHeight, &region))
    {
        pCrop =
            static_cast<uint8_t*>(malloc(static_cast<size_t>(region.nWidth) * region.nHeight * 2));
        status = pCrop == nullptr
                     ? ImageStatus::OutOfMemory
                     : CopyRegion(c.src.data(), c.nSrcWidth, c.nSrcHeight, 2, region.nLeft,
                                  region.nTop, pCrop, region.nWidth, region.nHeight);
        pSource = pCrop;
        nWidth = region.nWidth;
        nHeight = region.nHeight;
    }
    if (status == ImageStatus::Ok)
    {
        ScalerGeometry geometry = {ScalerLayout::Yuy2, nWidth,       nHeight,        nWidth * 2,
                                   c.nDstWidth,        c.nDstHeight, c.nDstWidth * 2};
        status = pPlan->Configure(geometry, ScalerFilter::Automatic, eAcceleration);
        if (status == ImageStatus::Ok)
            status = pPlan->Process(pSource, pDst);
    }
    free(pCrop);
    return status;
}

void ResizeOurs(benchmark::State& state, ResizeCase* c, ScalerAcceleration eAcceleration)
{
    ScalerPlan plan;
    for (auto _ : state)
    {
        if (ResizeLikeTheProduct(&plan, *c, c->dst.data(), eAcceleration) != ImageStatus::Ok)
            state.SkipWithError("resize failed");
        benchmark::ClobberMemory();
    }
}

struct SwsContextDeleter
{
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
typedef std::unique_ptr<SwsContext, SwsContextDeleter> SwsContextPointer;

SwsContextPointer MakeSwscale(const ResizeCase& c, int nFlags)
{
    return SwsContextPointer(sws_getContext(
        static_cast<int>(c.crop.nWidth), static_cast<int>(c.crop.nHeight), AV_PIX_FMT_YUYV422,
        static_cast<int>(c.nDstWidth), static_cast<int>(c.nDstHeight), AV_PIX_FMT_YUYV422, nFlags,
        nullptr, nullptr, nullptr));
}

void RunSwscale(SwsContext* pContext, const ResizeCase& c, uint8_t* pDst)
{
    const uint8_t* apSrc[1] = {c.CropStart()};
    const int anSrcStride[1] = {static_cast<int>(c.nSrcWidth * 2)};
    uint8_t* apDst[1] = {pDst};
    const int anDstStride[1] = {static_cast<int>(c.nDstWidth * 2)};
    sws_scale(pContext, apSrc, anSrcStride, 0, static_cast<int>(c.crop.nHeight), apDst,
              anDstStride);
}

void ResizeSwscale(benchmark::State& state, ResizeCase* c, int nFlags)
{
    SwsContextPointer context = MakeSwscale(*c, nFlags);
    if (!context)
    {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    for (auto _ : state)
    {
        RunSwscale(context.get(), *c, c->dst.data());
        benchmark::ClobberMemory();
    }
}

void RunLibyuvPlanar(ResizeCase* c)
{
    const uint32_t w = c->nSrcWidth, cw = c->nSrcWidth / 2;
    const CropRegion& r = c->crop;
    const size_t nLumaOffset = static_cast<size_t>(r.nTop) * w + r.nLeft;
    const size_t nChromaOffset = static_cast<size_t>(r.nTop) * cw + r.nLeft / 2;
    const int dw = static_cast<int>(c->nDstWidth), dh = static_cast<int>(c->nDstHeight);
    libyuv::ScalePlane(c->srcY.data() + nLumaOffset, static_cast<int>(w),
                       static_cast<int>(r.nWidth), static_cast<int>(r.nHeight), c->dstY.data(), dw,
                       dw, dh, libyuv::kFilterBilinear);
    libyuv::ScalePlane(c->srcU.data() + nChromaOffset, static_cast<int>(cw),
                       static_cast<int>(r.nWidth / 2), static_cast<int>(r.nHeight), c->dstU.data(),
                       dw / 2, dw / 2, dh, libyuv::kFilterBilinear);
    libyuv::ScalePlane(c->srcV.data() + nChromaOffset, static_cast<int>(cw),
                       static_cast<int>(r.nWidth / 2), static_cast<int>(r.nHeight), c->dstV.data(),
                       dw / 2, dw / 2, dh, libyuv::kFilterBilinear);
}

void ResizeLibyuvPlanar(benchmark::State& state, ResizeCase* c)
{
    for (auto _ : state)
    {
        RunLibyuvPlanar(c);
        benchmark::ClobberMemory();
    }
}

// ---------------------------------------------------------------------------
// Collecting the medians

class CollectingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            const bool bMedian =
                run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool bSingle = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if ((bMedian || bSingle) && !run.error_occurred)
            {
                // Microseconds of processor time per iteration: on a shared
                // machine the wall clock also counts other processes.
                double dTime = run.GetAdjustedCPUTime();
                dTime *= 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
                m_times[run.run_name.function_name] = dTime;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Microseconds, or a negative number when the benchmark did not run.
    double Time(const std::string& name) const
    {
        auto it = m_times.find(name);
        return it == m_times.end() ? -1.0 : it->second;
    }

private:
    std::map<std::string, double> m_times;
};

std::string Ratio(double dNumerator, double dDenominator)
{
    if (dNumerator <= 0 || dDenominator <= 0)
        return "-";
    char sz[32];
    snprintf(sz, sizeof(sz), "%.2fx", dNumerator / dDenominator);
    return sz;
}

const char* PathName(Yuy2ToNv12Path ePath)
{
    switch (ePath)
    {
    case Yuy2ToNv12Path::Avx2:
        return "AVX2";
    case Yuy2ToNv12Path::Sse2:
        return "SSE2";
    case Yuy2ToNv12Path::Portable:
        break;
    }
    return "C";
}
}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::unique_ptr<ConversionCase>> conversions;
    for (auto size : {std::make_pair(1280u, 720u), std::make_pair(640u, 480u)})
    {
        std::unique_ptr<ConversionCase> c(new ConversionCase);
        c->nWidth = size.first;
        c->nHeight = size.second;
        c->src = MakeBenchPictureYuy2(c->nWidth, c->nHeight);
        c->dst.resize(static_cast<size_t>(c->nWidth) * c->nHeight * 3 / 2);
        c->copy.resize(c->src.size());
        const std::string prefix = "convert/" + SizeName(c->nWidth, c->nHeight) + "/";
        ConversionCase* p = c.get();
        benchmark::RegisterBenchmark((prefix + "ours_c").c_str(), ConvertWith, p,
                                     Yuy2ToNv12Path::Portable);
        benchmark::RegisterBenchmark((prefix + "ours_sse2").c_str(), ConvertWith, p,
                                     Yuy2ToNv12Path::Sse2);
        benchmark::RegisterBenchmark((prefix + "ours_avx2").c_str(), ConvertWith, p,
                                     Yuy2ToNv12Path::Avx2);
        benchmark::RegisterBenchmark((prefix + "ours_dispatch").c_str(), ConvertWith, p,
                                     GetBestYuy2ToNv12Path());
        benchmark::RegisterBenchmark((prefix + "libyuv_best").c_str(), ConvertWithLibyuv, p, -1);
        benchmark::RegisterBenchmark((prefix + "libyuv_sse2").c_str(), ConvertWithLibyuv, p,
                                     kLibyuvSse2Only);
        benchmark::RegisterBenchmark((prefix + "memcpy").c_str(), CopySource, p);
        conversions.push_back(std::move(c));
    }

    // The last is the 1:1 pass every NV12 request of the camera's size makes.
    const uint32_t kResizes[][4] = {{1280, 720, 640, 480},
                                    {640, 480, 1280, 720},
                                    {1280, 720, 320, 180},
                                    {1280, 720, 1280, 720}};
    std::vector<std::unique_ptr<ResizeCase>> resizes;
    for (const auto& r : kResizes)
    {
        std::unique_ptr<ResizeCase> c(new ResizeCase);
        c->nSrcWidth = r[0];
        c->nSrcHeight = r[1];
        c->nDstWidth = r[2];
        c->nDstHeight = r[3];
        c->src = MakeBenchPictureYuy2(c->nSrcWidth, c->nSrcHeight);
        ComputeCentredCrop(c->nSrcWidth, c->nSrcHeight, c->nDstWidth, c->nDstHeight, &c->crop);
        c->dst.resize(static_cast<size_t>(c->nDstWidth) * c->nDstHeight * 2);
        const size_t nPixels = static_cast<size_t>(c->nSrcWidth) * c->nSrcHeight;
        c->srcY.resize(nPixels);
        c->srcU.resize(nPixels / 2);
        c->srcV.resize(nPixels / 2);
        libyuv::YUY2ToI422(c->src.data(), static_cast<int>(c->nSrcWidth * 2), c->srcY.data(),
                           static_cast<int>(c->nSrcWidth), c->srcU.data(),
                           static_cast<int>(c->nSrcWidth / 2), c->srcV.data(),
                           static_cast<int>(c->nSrcWidth / 2), static_cast<int>(c->nSrcWidth),
                           static_cast<int>(c->nSrcHeight));
        const size_t nDstPixels = static_cast<size_t>(c->nDstWidth) * c->nDstHeight;
        c->dstY.resize(nDstPixels);
        c->dstU.resize(nDstPixels / 2);
        c->dstV.resize(nDstPixels / 2);
        const std::string prefix = "resize/" + c->Name() + "/";
        ResizeCase* p = c.get();
        benchmark::RegisterBenchmark((prefix + "ours").c_str(), ResizeOurs, p,
                                     ScalerAcceleration::Avx2);
        benchmark::RegisterBenchmark((prefix + "ours_sse2").c_str(), ResizeOurs, p,
                                     ScalerAcceleration::Sse2);
        benchmark::RegisterBenchmark((prefix + "ours_portable").c_str(), ResizeOurs, p,
                                     ScalerAcceleration::Portable);
        benchmark::RegisterBenchmark((prefix + "swscale_bilinear").c_str(), ResizeSwscale, p,
                                     SWS_BILINEAR);
        benchmark::RegisterBenchmark((prefix + "swscale_area").c_str(), ResizeSwscale, p, SWS_AREA);
        benchmark::RegisterBenchmark((prefix + "libyuv_planar_bilinear").c_str(),
                                     ResizeLibyuvPlanar, p);
        resizes.push_back(std::move(c));
    }

    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    printf(
        "\nYUY2 -> NV12, microseconds of processor time a frame (median); ratios are "
        "throughput,\n");
    printf("higher is faster\n");
    printf("%-9s %-22s %10s %14s %14s %14s\n", "size", "routine", "time (us)", "vs libyuv best",
           "vs libyuv SSE2", "time / memcpy");
    for (const auto& c : conversions)
    {
        const std::string prefix = "convert/" + SizeName(c->nWidth, c->nHeight) + "/";
        const double dBest = reporter.Time(prefix + "libyuv_best");
        const double dSse2 = reporter.Time(prefix + "libyuv_sse2");
        const double dCopy = reporter.Time(prefix + "memcpy");
        const std::string dispatch =
            std::string("ours dispatch (") + PathName(GetBestYuy2ToNv12Path()) + ")";
        const std::pair<const char*, std::string> rows[] = {{"ours_c", "ours C"},
                                                            {"ours_sse2", "ours SSE2 (8 px)"},
                                                            {"ours_avx2", "ours AVX2 (16 px)"},
                                                            {"ours_dispatch", dispatch},
                                                            {"libyuv_best", "libyuv best"},
                                                            {"libyuv_sse2", "libyuv SSE2 only"},
                                                            {"memcpy", "memcpy of the source"}};
        for (const auto& row : rows)
        {
            const double dTime = reporter.Time(prefix + row.first);
            if (dTime < 0)
                continue;  // filtered out
            printf("%-9s %-22s %10.1f %14s %14s %14s\n", SizeName(c->nWidth, c->nHeight).c_str(),
                   row.second.c_str(), dTime, Ratio(dBest, dTime).c_str(),
                   Ratio(dSse2, dTime).c_str(), Ratio(dTime, dCopy).c_str());
        }
    }

    printf("\nYUY2 resize (crop to the destination's aspect ratio, then scale), microseconds of\n");
    printf("processor time a frame (median); speed is swscale bilinear's time over this one's;\n");
    printf("PSNR of the luma against a double-precision Lanczos-3 resample of the same crop\n");
    printf("%-20s %-30s %10s %8s %10s\n", "resize", "path", "time (us)", "speed", "PSNR (dB)");
    const char* pszBest =
        ScalerAvailableAcceleration(ScalerAcceleration::Avx2) == ScalerAcceleration::Avx2 ? "AVX2"
                                                                                          : "SSE2";
    std::map<std::string, std::map<std::string, double>> psnrs;  // resize -> routine -> dB
    for (const auto& c : resizes)
    {
        const std::string prefix = "resize/" + c->Name() + "/";
        LumaPlane crop =
            ExtractLuma(c->CropStart(), c->crop.nWidth, c->crop.nHeight, c->nSrcWidth * 2);
        LumaPlane reference = ResampleLumaLanczos3(crop, c->nDstWidth, c->nDstHeight);
        const uint32_t nStride = c->nDstWidth * 2;
        std::vector<uint8_t> out(c->dst.size());

        std::map<std::string, double> psnr;
        auto row = [&](const char* pszName, const std::string& label, const uint8_t* pLuma,
                       uint32_t nLumaStride, uint32_t nStep)
        {
            const double dTime = reporter.Time(prefix + pszName);
            if (dTime < 0)
                return;  // filtered out
            psnr[pszName] = LumaPsnr(pLuma, nLumaStride, 0, nStep, reference);
            printf("%-20s %-30s %10.1f %8s %10.2f\n", c->Name().c_str(), label.c_str(), dTime,
                   Ratio(reporter.Time(prefix + "swscale_bilinear"), dTime).c_str(), psnr[pszName]);
        };
        ScalerPlan plan;
        ResizeLikeTheProduct(&plan, *c, out.data(), ScalerAcceleration::Avx2);
        row("ours", std::string("ours: crop + scaler (") + pszBest + ")", out.data(), nStride, 2);
        ResizeLikeTheProduct(&plan, *c, out.data(), ScalerAcceleration::Sse2);
        row("ours_sse2", "ours: crop + scaler (SSE2)", out.data(), nStride, 2);
        ResizeLikeTheProduct(&plan, *c, out.data(), ScalerAcceleration::Portable);
        row("ours_portable", "ours: crop + scaler (C)", out.data(), nStride, 2);
        RunSwscale(MakeSwscale(*c, SWS_BILINEAR).get(), *c, out.data());
        row("swscale_bilinear", "swscale SWS_BILINEAR", out.data(), nStride, 2);
        RunSwscale(MakeSwscale(*c, SWS_AREA).get(), *c, out.data());
        row("swscale_area", "swscale SWS_AREA", out.data(), nStride, 2);
        RunLibyuvPlanar(c.get());
        row("libyuv_planar_bilinear", "libyuv ScalePlane x3 (planar)", c->dstY.data(), c->nDstWidth,
            1);
        psnrs[c->Name()] = psnr;
    }

    // The goal: at every size ours at least as fast as the fastest peer whose
    // luma PSNR is not lower (equal to the printed hundredth counts as not
    // lower), and at least 1.5 times as fast as swscale's bilinear filter.
    printf("\nGoal per resize (ours %s): a ratio is the other's time over ours, higher is faster\n",
           pszBest);
    printf("%-20s %10s %9s %-30s %10s %9s %9s  %s\n", "resize", "ours (us)", "PSNR",
           "fastest peer not below our PSNR", "its time", "vs it", "vs bilin", "goal");
    const std::pair<const char*, const char*> kPeers[] = {
        {"swscale_bilinear", "swscale SWS_BILINEAR"},
        {"swscale_area", "swscale SWS_AREA"},
        {"libyuv_planar_bilinear", "libyuv ScalePlane x3"}};
    for (const auto& c : resizes)
    {
        const std::string prefix = "resize/" + c->Name() + "/";
        const std::map<std::string, double>& psnr = psnrs[c->Name()];
        const double dOurs = reporter.Time(prefix + "ours");
        const double dBilinear = reporter.Time(prefix + "swscale_bilinear");
        if (dOurs < 0 || dBilinear < 0 || psnr.count("ours") == 0)
            continue;  // filtered out
        const double dOurPsnr = psnr.at("ours");
        std::string peerName = "(none)";
        double dPeer = -1, dPeerPsnr = 0;
        for (const auto& peer : kPeers)
        {
            const double dTime = reporter.Time(prefix + peer.first);
            auto it = psnr.find(peer.first);
            if (dTime < 0 || it == psnr.end() || it->second < dOurPsnr - 0.005)
                continue;
            if (dPeer < 0 || dTime < dPeer)
            {
                dPeer = dTime;
                dPeerPsnr = it->second;
                peerName = peer.second;
            }
        }
        const bool bBeatsPeer = dPeer < 0 || dOurs <= dPeer;
        // At 1:1 every routine copies, so none can be 1.5 times another;
        // the row says how near ours comes to the fastest copy.
        const bool bCopy = c->nSrcWidth == c->nDstWidth && c->nSrcHeight == c->nDstHeight;
        const bool bBeatsBilinear = bCopy || dOurs * 1.5 <= dBilinear;
        std::string verdict = bBeatsPeer && bBeatsBilinear ? "met" : "MISSED:";
        if (bCopy)
            verdict = bBeatsPeer ? "1:1, all copy: ours the fastest" : "1:1, all copy:";
        char szMiss[96];
        if (!bBeatsPeer)
        {
            snprintf(szMiss, sizeof(szMiss), " %.0f%% slower than %s",
                     100.0 * (dOurs / dPeer - 1.0), peerName.c_str());
            verdict += szMiss;
        }
        if (!bBeatsBilinear)
        {
            snprintf(szMiss, sizeof(szMiss), " %.2fx of bilinear, not 1.5x", dBilinear / dOurs);
            verdict += szMiss;
        }
        char szPeerTime[32] = "-", szPeerPsnr[32] = "";
        if (dPeer >= 0)
        {
            snprintf(szPeerTime, sizeof(szPeerTime), "%.1f", dPeer);
            snprintf(szPeerPsnr, sizeof(szPeerPsnr), " (%.2f dB)", dPeerPsnr);
        }
        printf("%-20s %10.1f %9.2f %-30s %10s %9s %9s  %s\n", c->Name().c_str(), dOurs, dOurPsnr,
               (peerName + szPeerPsnr).c_str(), szPeerTime, Ratio(dPeer, dOurs).c_str(),
               Ratio(dBilinear, dOurs).c_str(), verdict.c_str());
    }
    return 0;
}
