// A few of the named GUIDs are declared only for Windows 8 and later. Naming
// them asks nothing of the running system, so this file alone reads the
// headers as for Windows 8.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0602
#define _WIN32_WINNT 0x0602

#include "diagnostics/mfguidnames.h"

#include <mfapi.h>
#include <mfidl.h>
#include <codecapi.h>
#include <ks.h>
#include <ksmedia.h>

// Tables, one entry a line: laid out by hand.
// clang-format off
namespace sdkguid
{
const GUID MF_PD_AUDIO_ENCODING_BITRATE = { 0x6c990d35, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_LAST_MODIFIED_TIME = { 0x6c990d38, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_MIME_TYPE = { 0x6c990d37, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_TOTAL_FILE_SIZE = { 0x6c990d34, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_VIDEO_ENCODING_BITRATE = { 0x6c990d36, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_DEVICESTREAM_STREAM_ID = { 0x11bd5120, 0xd124, 0x446b, 0x88, 0xe6, 0x17, 0x06, 0x02, 0x57, 0xff, 0xf9 };
const GUID MF_DEVICESTREAM_EXTENSION_PLUGIN_CLSID = { 0x048e6558, 0x60c4, 0x4173, 0xbd, 0x5b, 0x6a, 0x3c, 0xa2, 0x89, 0x6a, 0xee };
const GUID MF_DEVICESTREAM_EXTENSION_PLUGIN_CONNECTION_POINT = { 0x37f9375c, 0xe664, 0x4ea4, 0xaa, 0xe4, 0xcb, 0x6d, 0x1d, 0xac, 0xa1, 0xf4 };
const GUID MF_DEVICESTREAM_STREAM_CATEGORY = { 0x2939e7b8, 0xa62e, 0x4579, 0xb6, 0x74, 0xd4, 0x07, 0x3d, 0xfa, 0xbb, 0xba };
const GUID MF_TOPONODE_FLUSH = { 0x494bbce8, 0xb031, 0x4e38, 0x97, 0xc4, 0xd5, 0x42, 0x2d, 0xd6, 0x18, 0xdc };
const GUID MF_SD_SAMI_LANGUAGE = { 0x36fcb98a, 0x6cd0, 0x44cb, 0xac, 0xb9, 0xa8, 0xf5, 0x60, 0x0d, 0xd0, 0xbb };
const GUID MF_PD_APP_CONTEXT = { 0x6c990d32, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_PMPHOST_CONTEXT = { 0x6c990d31, 0xbb8e, 0x477a, 0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a };
const GUID MF_PD_SAMI_STYLELIST = { 0xe0b73c7f, 0x486d, 0x484e, 0x98, 0x72, 0x4d, 0xe5, 0x19, 0x2a, 0x7b, 0xf8 };
const GUID MF_DEVICESTREAM_IMAGE_STREAM = { 0xa7ffb865, 0xe7b2, 0x43b0, 0x9f, 0x6f, 0x9a, 0xf2, 0xa0, 0xe5, 0x0f, 0xc0 };
const GUID MF_DEVICESTREAM_INDEPENDENT_IMAGE_STREAM = { 0x03eeec7e, 0xd605, 0x4576, 0x8b, 0x29, 0x65, 0x80, 0xb4, 0x90, 0xd7, 0xd3 };
const GUID MFSampleExtension_DeviceTimestamp = { 0x8f3e35e7, 0x2dcd, 0x4887, 0x86, 0x22, 0x2a, 0x58, 0xba, 0xa6, 0x52, 0xb0 };
}  // namespace sdkguid

namespace
{
// Codec API properties and values, instantiated from the header's STATIC_
// forms so that no import library has to carry them.
#define VCAM_CODECAPI_GUIDS(X) \
    X(AVEncCommonFormatConstraint) \
    X(GUID_AVEncCommonFormatUnSpecified) \
    X(GUID_AVEncCommonFormatDVD_V) \
    X(GUID_AVEncCommonFormatDVD_DashVR) \
    X(GUID_AVEncCommonFormatDVD_PlusVR) \
    X(GUID_AVEncCommonFormatVCD) \
    X(GUID_AVEncCommonFormatSVCD) \
    X(GUID_AVEncCommonFormatATSC) \
    X(GUID_AVEncCommonFormatDVB) \
    X(GUID_AVEncCommonFormatMP3) \
    X(GUID_AVEncCommonFormatHighMAT) \
    X(GUID_AVEncCommonFormatHighMPV) \
    X(AVEncCodecType) \
    X(GUID_AVEncMPEG1Video) \
    X(GUID_AVEncMPEG2Video) \
    X(GUID_AVEncMPEG1Audio) \
    X(GUID_AVEncMPEG2Audio) \
    X(GUID_AVEncWMV) \
    X(GUID_AVEndMPEG4Video) \
    X(GUID_AVEncH264Video) \
    X(GUID_AVEncDV) \
    X(GUID_AVEncWMAPro) \
    X(GUID_AVEncWMALossless) \
    X(GUID_AVEncWMAVoice) \
    X(GUID_AVEncDolbyDigitalPro) \
    X(GUID_AVEncDolbyDigitalConsumer) \
    X(GUID_AVEncDolbyDigitalPlus) \
    X(GUID_AVEncDTSHD) \
    X(GUID_AVEncDTS) \
    X(GUID_AVEncMLP) \
    X(GUID_AVEncPCM) \
    X(GUID_AVEncSDDS) \
    X(AVEncCommonRateControlMode) \
    X(AVEncCommonLowLatency) \
    X(AVEncCommonMultipassMode) \
    X(AVEncCommonPassStart) \
    X(AVEncCommonPassEnd) \
    X(AVEncCommonRealTime) \
    X(AVEncCommonQuality) \
    X(AVEncCommonQualityVsSpeed) \
    X(AVEncCommonMeanBitRate) \
    X(AVEncCommonMeanBitRateInterval) \
    X(AVEncCommonMaxBitRate) \
    X(AVEncCommonMinBitRate) \
    X(AVEncCommonBufferSize) \
    X(AVEncCommonBufferInLevel) \
    X(AVEncCommonBufferOutLevel) \
    X(AVEncCommonStreamEndHandling) \
    X(AVEncStatCommonCompletedPasses) \
    X(AVEncVideoOutputFrameRate) \
    X(AVEncVideoOutputFrameRateConversion) \
    X(AVEncVideoPixelAspectRatio) \
    X(AVEncVideoForceSourceScanType) \
    X(AVEncVideoNoOfFieldsToEncode) \
    X(AVEncVideoNoOfFieldsToSkip) \
    X(AVEncVideoEncodeDimension) \
    X(AVEncVideoEncodeOffsetOrigin) \
    X(AVEncVideoDisplayDimension) \
    X(AVEncVideoOutputScanType) \
    X(AVEncVideoInverseTelecineEnable) \
    X(AVEncVideoInverseTelecineThreshold) \
    X(AVEncVideoSourceFilmContent) \
    X(AVEncVideoSourceIsBW) \
    X(AVEncVideoFieldSwap) \
    X(AVEncVideoInputChromaResolution) \
    X(AVEncVideoOutputChromaResolution) \
    X(AVEncVideoInputChromaSubsampling) \
    X(AVEncVideoOutputChromaSubsampling) \
    X(AVEncVideoInputColorPrimaries) \
    X(AVEncVideoOutputColorPrimaries) \
    X(AVEncVideoInputColorTransferFunction) \
    X(AVEncVideoOutputColorTransferFunction) \
    X(AVEncVideoInputColorTransferMatrix) \
    X(AVEncVideoOutputColorTransferMatrix) \
    X(AVEncVideoInputColorLighting) \
    X(AVEncVideoOutputColorLighting) \
    X(AVEncVideoInputColorNominalRange) \
    X(AVEncVideoOutputColorNominalRange) \
    X(AVEncInputVideoSystem) \
    X(AVEncVideoHeaderDropFrame) \
    X(AVEncVideoHeaderHours) \
    X(AVEncVideoHeaderMinutes) \
    X(AVEncVideoHeaderSeconds) \
    X(AVEncVideoHeaderFrames) \
    X(AVEncVideoDefaultUpperFieldDominant) \
    X(AVEncVideoCBRMotionTradeoff) \
    X(AVEncVideoCodedVideoAccessUnitSize) \
    X(AVEncVideoMaxKeyframeDistance) \
    X(AVEncMuxOutputStreamType) \
    X(AVEncStatVideoOutputFrameRate) \
    X(AVEncStatVideoCodedFrames) \
    X(AVEncStatVideoTotalFrames) \
    X(AVEncAudioIntervalToEncode) \
    X(AVEncAudioIntervalToSkip) \
    X(AVEncAudioDualMono) \
    X(AVEncAudioMapDestChannel0) \
    X(AVEncAudioMapDestChannel1) \
    X(AVEncAudioMapDestChannel2) \
    X(AVEncAudioMapDestChannel3) \
    X(AVEncAudioMapDestChannel4) \
    X(AVEncAudioMapDestChannel5) \
    X(AVEncAudioMapDestChannel6) \
    X(AVEncAudioMapDestChannel7) \
    X(AVEncAudioMapDestChannel8) \
    X(AVEncAudioMapDestChannel9) \
    X(AVEncAudioMapDestChannel10) \
    X(AVEncAudioMapDestChannel11) \
    X(AVEncAudioMapDestChannel12) \
    X(AVEncAudioMapDestChannel13) \
    X(AVEncAudioMapDestChannel14) \
    X(AVEncAudioMapDestChannel15) \
    X(AVEncAudioInputContent) \
    X(AVEncStatAudioPeakPCMValue) \
    X(AVEncStatAudioAveragePCMValue) \
    X(AVEncStatAudioAverageBPS) \
    X(AVEncStatAverageBPS) \
    X(AVEncStatHardwareProcessorUtilitization) \
    X(AVEncStatHardwareBandwidthUtilitization) \
    X(AVEncMPVGOPSize) \
    X(AVEncMPVGOPOpen) \
    X(AVEncMPVDefaultBPictureCount) \
    X(AVEncMPVProfile) \
    X(AVEncMPVLevel) \
    X(AVEncMPVFrameFieldMode) \
    X(AVEncMPVAddSeqEndCode) \
    X(AVEncMPVGOPSInSeq) \
    X(AVEncMPVUseConcealmentMotionVectors) \
    X(AVEncMPVSceneDetection) \
    X(AVEncMPVGenerateHeaderSeqExt) \
    X(AVEncMPVGenerateHeaderSeqDispExt) \
    X(AVEncMPVGenerateHeaderPicExt) \
    X(AVEncMPVGenerateHeaderPicDispExt) \
    X(AVEncMPVGenerateHeaderSeqScaleExt) \
    X(AVEncMPVScanPattern) \
    X(AVEncMPVIntraDCPrecision) \
    X(AVEncMPVQScaleType) \
    X(AVEncMPVIntraVLCTable) \
    X(AVEncMPVQuantMatrixIntra) \
    X(AVEncMPVQuantMatrixNonIntra) \
    X(AVEncMPVQuantMatrixChromaIntra) \
    X(AVEncMPVQuantMatrixChromaNonIntra) \
    X(AVEncMPALayer) \
    X(AVEncMPACodingMode) \
    X(AVEncDDService) \
    X(AVEncDDDialogNormalization) \
    X(AVEncDDCentreDownMixLevel) \
    X(AVEncDDSurroundDownMixLevel) \
    X(AVEncDDProductionInfoExists) \
    X(AVEncDDProductionRoomType) \
    X(AVEncDDProductionMixLevel) \
    X(AVEncDDCopyright) \
    X(AVEncDDOriginalBitstream) \
    X(AVEncDDDigitalDeemphasis) \
    X(AVEncDDDCHighPassFilter) \
    X(AVEncDDChannelBWLowPassFilter) \
    X(AVEncDDLFELowPassFilter) \
    X(AVEncDDSurround90DegreeePhaseShift) \
    X(AVEncDDSurround3dBAttenuation) \
    X(AVEncDDDynamicRangeCompressionControl) \
    X(AVEncDDRFPreEmphasisFilter) \
    X(AVEncDDSurroundExMode) \
    X(AVEncDDPreferredStereoDownMixMode) \
    X(AVEncDDLtRtCenterMixLvl_x10) \
    X(AVEncDDLtRtSurroundMixLvl_x10) \
    X(AVEncDDLoRoCenterMixLvl_x10) \
    X(AVEncDDLoRoSurroundMixLvl_x10) \
    X(AVEncDDAtoDConverterType) \
    X(AVEncDDHeadphoneMode) \
    X(AVEncWMVKeyFrameDistance) \
    X(AVEncWMVInterlacedEncoding) \
    X(AVEncWMVDecoderComplexity) \
    X(AVEncWMVKeyFrameBufferLevelMarker) \
    X(AVEncWMVProduceDummyFrames) \
    X(AVEncStatWMVCBAvg) \
    X(AVEncStatWMVCBMax) \
    X(AVEncStatWMVDecoderComplexityProfile) \
    X(AVEncStatMPVSkippedEmptyFrames) \
    X(AVEncMP12PktzSTDBuffer) \
    X(AVEncMP12PktzStreamID) \
    X(AVEncMP12PktzInitialPTS) \
    X(AVEncMP12PktzPacketSize) \
    X(AVEncMP12PktzCopyright) \
    X(AVEncMP12PktzOriginal) \
    X(AVEncMP12MuxPacketOverhead) \
    X(AVEncMP12MuxNumStreams) \
    X(AVEncMP12MuxEarliestPTS) \
    X(AVEncMP12MuxLargestPacketSize) \
    X(AVEncMP12MuxInitialSCR) \
    X(AVEncMP12MuxMuxRate) \
    X(AVEncMP12MuxPackSize) \
    X(AVEncMP12MuxSysSTDBufferBound) \
    X(AVEncMP12MuxSysRateBound) \
    X(AVEncMP12MuxTargetPacketizer) \
    X(AVEncMP12MuxSysFixed) \
    X(AVEncMP12MuxSysCSPS) \
    X(AVEncMP12MuxSysVideoLock) \
    X(AVEncMP12MuxSysAudioLock) \
    X(AVEncMP12MuxDVDNavPacks) \
    X(AVEncMPACopyright) \
    X(AVEncMPAOriginalBitstream) \
    X(AVEncMPAEnableRedundancyProtection) \
    X(AVEncMPAPrivateUserBit) \
    X(AVEncMPAEmphasisType) \
    X(AVDecCommonMeanBitRate) \
    X(AVDecCommonMeanBitRateInterval) \
    X(AVDecCommonInputFormat) \
    X(AVDecCommonOutputFormat) \
    X(GUID_AVDecAudioOutputFormat_PCM_Stereo_MatrixEncoded) \
    X(GUID_AVDecAudioOutputFormat_PCM) \
    X(GUID_AVDecAudioOutputFormat_SPDIF_PCM) \
    X(GUID_AVDecAudioOutputFormat_SPDIF_Bitstream) \
    X(GUID_AVDecAudioOutputFormat_PCM_Headphones) \
    X(GUID_AVDecAudioOutputFormat_PCM_Stereo_Auto) \
    X(AVDecVideoImageSize) \
    X(AVDecVideoInputScanType) \
    X(AVDecVideoPixelAspectRatio) \
    X(AVDecVideoAcceleration_MPEG2) \
    X(AVDecVideoAcceleration_H264) \
    X(AVDecVideoAcceleration_VC1) \
    X(AVDecVideoProcDeinterlaceCSC) \
    X(AVDecVideoThumbnailGenerationMode) \
    X(AVDecVideoDropPicWithMissingRef) \
    X(AVDecVideoSoftwareDeinterlaceMode) \
    X(AVDecVideoFastDecodeMode) \
    X(AVDecVideoH264ErrorConcealment) \
    X(AVDecVideoCodecType) \
    X(AVDecVideoDXVAMode) \
    X(AVDecVideoDXVABusEncryption) \
    X(AVDecVideoSWPowerLevel) \
    X(GUID_AVDecAudioInputWMA) \
    X(GUID_AVDecAudioInputWMAPro) \
    X(GUID_AVDecAudioInputDolby) \
    X(GUID_AVDecAudioInputDTS) \
    X(GUID_AVDecAudioInputPCM) \
    X(GUID_AVDecAudioInputMPEG) \
    X(GUID_AVDecAudioInputAAC) \
    X(GUID_AVDecAudioInputHEAAC) \
    X(GUID_AVDecAudioInputDolbyDigitalPlus) \
    X(AVDecAACDownmixMode) \
    X(AVDecHEAACDynamicRangeControl) \
    X(AVDecAudioDualMono) \
    X(AVDecAudioDualMonoReproMode) \
    X(AVAudioChannelCount) \
    X(AVAudioChannelConfig) \
    X(AVAudioSampleRate) \
    X(AVDDSurroundMode) \
    X(AVDecDDOperationalMode) \
    X(AVDecDDMatrixDecodingMode) \
    X(AVDecDDDynamicRangeScaleHigh) \
    X(AVDecDDDynamicRangeScaleLow) \
    X(AVDSPLoudnessEqualization) \
    X(AVDSPSpeakerFill) \
    X(AVPriorityControl) \
    X(AVRealtimeControl)

#define VCAM_DEFINE_CODECAPI_GUID(name) const GUID kCodecApi_##name = { STATIC_CODECAPI_##name };
VCAM_CODECAPI_GUIDS(VCAM_DEFINE_CODECAPI_GUID)
#undef VCAM_DEFINE_CODECAPI_GUID

#define VCAM_KSNODETYPE_GUIDS(X) \
    X(VIDEO_STREAMING) \
    X(VIDEO_INPUT_TERMINAL) \
    X(VIDEO_OUTPUT_TERMINAL) \
    X(VIDEO_SELECTOR) \
    X(VIDEO_PROCESSING) \
    X(VIDEO_CAMERA_TERMINAL) \
    X(VIDEO_INPUT_MTT) \
    X(VIDEO_OUTPUT_MTT) \
    X(DEV_SPECIFIC)

#define VCAM_DEFINE_KSNODETYPE_GUID(name) const GUID kKsNodeType_##name = { STATIC_KSNODETYPE_##name };
VCAM_KSNODETYPE_GUIDS(VCAM_DEFINE_KSNODETYPE_GUID)
#undef VCAM_DEFINE_KSNODETYPE_GUID
}  // namespace

#define VCAM_GUID_ROW(name) { &name, #name },
#define VCAM_SDK_GUID_ROW(name) { &sdkguid::name, #name },
#define VCAM_CODECAPI_ROW(name) { &kCodecApi_##name, "CODECAPI_" #name },
#define VCAM_KSNODETYPE_ROW(name) { &kKsNodeType_##name, "KSNODETYPE_" #name },

// Searched from the top; the first equal GUID wins.
const GUID_NAME_ENTRY gGuidNameTable[] = {
    // 0-8
    VCAM_GUID_ROW(MFMediaType_Audio)
    VCAM_GUID_ROW(MFMediaType_Video)
    VCAM_GUID_ROW(MFMediaType_Protected)
    VCAM_GUID_ROW(MFMediaType_SAMI)
    VCAM_GUID_ROW(MFMediaType_Script)
    VCAM_GUID_ROW(MFMediaType_Image)
    VCAM_GUID_ROW(MFMediaType_HTML)
    VCAM_GUID_ROW(MFMediaType_Binary)
    VCAM_GUID_ROW(MFMediaType_FileTransfer)
    // 9-22
    VCAM_GUID_ROW(MFAudioFormat_Dolby_AC3_SPDIF)
    VCAM_GUID_ROW(MFAudioFormat_DRM)
    VCAM_GUID_ROW(MFAudioFormat_DTS)
    VCAM_GUID_ROW(MFAudioFormat_Float)
    VCAM_GUID_ROW(MFAudioFormat_MP3)
    VCAM_GUID_ROW(MFAudioFormat_MPEG)
    VCAM_GUID_ROW(MFAudioFormat_MSP1)
    VCAM_GUID_ROW(MFAudioFormat_PCM)
    VCAM_GUID_ROW(MFAudioFormat_WMASPDIF)
    VCAM_GUID_ROW(MFAudioFormat_WMAudio_Lossless)
    VCAM_GUID_ROW(MFAudioFormat_WMAudioV8)
    VCAM_GUID_ROW(MFAudioFormat_WMAudioV9)
    VCAM_GUID_ROW(MFAudioFormat_AAC)
    VCAM_GUID_ROW(MFAudioFormat_ADTS)
    // 23-76
    VCAM_GUID_ROW(MFVideoFormat_Base)
    VCAM_GUID_ROW(MFVideoFormat_RGB32)
    VCAM_GUID_ROW(MFVideoFormat_ARGB32)
    VCAM_GUID_ROW(MFVideoFormat_RGB24)
    VCAM_GUID_ROW(MFVideoFormat_RGB555)
    VCAM_GUID_ROW(MFVideoFormat_RGB565)
    VCAM_GUID_ROW(MFVideoFormat_RGB8)
    VCAM_GUID_ROW(MFVideoFormat_AI44)
    VCAM_GUID_ROW(MFVideoFormat_AYUV)
    VCAM_GUID_ROW(MFVideoFormat_YUY2)
    VCAM_GUID_ROW(MFVideoFormat_YVYU)
    VCAM_GUID_ROW(MFVideoFormat_YVU9)
    VCAM_GUID_ROW(MFVideoFormat_UYVY)
    VCAM_GUID_ROW(MFVideoFormat_NV11)
    VCAM_GUID_ROW(MFVideoFormat_NV12)
    VCAM_GUID_ROW(MFVideoFormat_YV12)
    VCAM_GUID_ROW(MFVideoFormat_I420)
    VCAM_GUID_ROW(MFVideoFormat_IYUV)
    VCAM_GUID_ROW(MFVideoFormat_Y210)
    VCAM_GUID_ROW(MFVideoFormat_Y216)
    VCAM_GUID_ROW(MFVideoFormat_Y410)
    VCAM_GUID_ROW(MFVideoFormat_Y416)
    VCAM_GUID_ROW(MFVideoFormat_Y41P)
    VCAM_GUID_ROW(MFVideoFormat_Y41T)
    VCAM_GUID_ROW(MFVideoFormat_Y42T)
    VCAM_GUID_ROW(MFVideoFormat_P210)
    VCAM_GUID_ROW(MFVideoFormat_P216)
    VCAM_GUID_ROW(MFVideoFormat_P010)
    VCAM_GUID_ROW(MFVideoFormat_P016)
    VCAM_GUID_ROW(MFVideoFormat_v210)
    VCAM_GUID_ROW(MFVideoFormat_v216)
    VCAM_GUID_ROW(MFVideoFormat_v410)
    VCAM_GUID_ROW(MFVideoFormat_MP43)
    VCAM_GUID_ROW(MFVideoFormat_MP4S)
    VCAM_GUID_ROW(MFVideoFormat_M4S2)
    VCAM_GUID_ROW(MFVideoFormat_MP4V)
    VCAM_GUID_ROW(MFVideoFormat_WMV1)
    VCAM_GUID_ROW(MFVideoFormat_WMV2)
    VCAM_GUID_ROW(MFVideoFormat_WMV3)
    VCAM_GUID_ROW(MFVideoFormat_WVC1)
    VCAM_GUID_ROW(MFVideoFormat_MSS1)
    VCAM_GUID_ROW(MFVideoFormat_MSS2)
    VCAM_GUID_ROW(MFVideoFormat_MPG1)
    VCAM_GUID_ROW(MFVideoFormat_DVSL)
    VCAM_GUID_ROW(MFVideoFormat_DVSD)
    VCAM_GUID_ROW(MFVideoFormat_DVHD)
    VCAM_GUID_ROW(MFVideoFormat_DV25)
    VCAM_GUID_ROW(MFVideoFormat_DV50)
    VCAM_GUID_ROW(MFVideoFormat_DVH1)
    VCAM_GUID_ROW(MFVideoFormat_DVC)
    VCAM_GUID_ROW(MFVideoFormat_H264)
    VCAM_GUID_ROW(MFVideoFormat_MJPG)
    VCAM_GUID_ROW(MFVideoFormat_420O)
    VCAM_GUID_ROW(MFVideoFormat_H263)
    // 77-125
    VCAM_GUID_ROW(MF_MT_ALL_SAMPLES_INDEPENDENT)
    VCAM_GUID_ROW(MF_MT_COMPRESSED)
    VCAM_GUID_ROW(MF_MT_FIXED_SIZE_SAMPLES)
    VCAM_GUID_ROW(MF_MT_MAJOR_TYPE)
    VCAM_GUID_ROW(MF_MT_SAMPLE_SIZE)
    VCAM_GUID_ROW(MF_MT_SUBTYPE)
    VCAM_GUID_ROW(MF_MT_WRAPPED_TYPE)
    VCAM_GUID_ROW(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION)
    VCAM_GUID_ROW(MF_MT_AAC_PAYLOAD_TYPE)
    VCAM_GUID_ROW(MF_MT_AUDIO_AVG_BYTES_PER_SECOND)
    VCAM_GUID_ROW(MF_MT_AUDIO_BITS_PER_SAMPLE)
    VCAM_GUID_ROW(MF_MT_AUDIO_BLOCK_ALIGNMENT)
    VCAM_GUID_ROW(MF_MT_AUDIO_CHANNEL_MASK)
    VCAM_GUID_ROW(MF_MT_AUDIO_FLOAT_SAMPLES_PER_SECOND)
    VCAM_GUID_ROW(MF_MT_AUDIO_FOLDDOWN_MATRIX)
    VCAM_GUID_ROW(MF_MT_AUDIO_NUM_CHANNELS)
    VCAM_GUID_ROW(MF_MT_AUDIO_PREFER_WAVEFORMATEX)
    VCAM_GUID_ROW(MF_MT_AUDIO_SAMPLES_PER_BLOCK)
    VCAM_GUID_ROW(MF_MT_AUDIO_SAMPLES_PER_SECOND)
    VCAM_GUID_ROW(MF_MT_AUDIO_VALID_BITS_PER_SAMPLE)
    VCAM_GUID_ROW(MF_MT_AVG_BIT_ERROR_RATE)
    VCAM_GUID_ROW(MF_MT_AVG_BITRATE)
    VCAM_GUID_ROW(MF_MT_DEFAULT_STRIDE)
    VCAM_GUID_ROW(MF_MT_DRM_FLAGS)
    VCAM_GUID_ROW(MF_MT_FRAME_RATE)
    VCAM_GUID_ROW(MF_MT_FRAME_SIZE)
    VCAM_GUID_ROW(MF_MT_GEOMETRIC_APERTURE)
    VCAM_GUID_ROW(MF_MT_INTERLACE_MODE)
    VCAM_GUID_ROW(MF_MT_MAX_KEYFRAME_SPACING)
    VCAM_GUID_ROW(MF_MT_MINIMUM_DISPLAY_APERTURE)
    VCAM_GUID_ROW(MF_MT_MPEG_SEQUENCE_HEADER)
    VCAM_GUID_ROW(MF_MT_MPEG_START_TIME_CODE)
    VCAM_GUID_ROW(MF_MT_MPEG2_FLAGS)
    VCAM_GUID_ROW(MF_MT_MPEG2_LEVEL)
    VCAM_GUID_ROW(MF_MT_MPEG2_PROFILE)
    VCAM_GUID_ROW(MF_MT_PAD_CONTROL_FLAGS)
    VCAM_GUID_ROW(MF_MT_PALETTE)
    VCAM_GUID_ROW(MF_MT_PAN_SCAN_APERTURE)
    VCAM_GUID_ROW(MF_MT_PAN_SCAN_ENABLED)
    VCAM_GUID_ROW(MF_MT_PIXEL_ASPECT_RATIO)
    VCAM_GUID_ROW(MF_MT_SOURCE_CONTENT_HINT)
    VCAM_GUID_ROW(MF_MT_TRANSFER_FUNCTION)
    VCAM_GUID_ROW(MF_MT_VIDEO_CHROMA_SITING)
    VCAM_GUID_ROW(MF_MT_VIDEO_LIGHTING)
    VCAM_GUID_ROW(MF_MT_VIDEO_NOMINAL_RANGE)
    VCAM_GUID_ROW(MF_MT_VIDEO_PRIMARIES)
    VCAM_GUID_ROW(MF_MT_YUV_MATRIX)
    VCAM_GUID_ROW(MF_MT_AUDIO_WMADRC_PEAKREF)
    VCAM_GUID_ROW(MF_MT_AUDIO_WMADRC_AVGREF)
    // 126-127
    VCAM_GUID_ROW(MF_SD_LANGUAGE)
    VCAM_GUID_ROW(MF_SD_PROTECTED)
    // 128-133
    VCAM_SDK_GUID_ROW(MF_PD_AUDIO_ENCODING_BITRATE)
    VCAM_GUID_ROW(MF_PD_DURATION)
    VCAM_SDK_GUID_ROW(MF_PD_LAST_MODIFIED_TIME)
    VCAM_SDK_GUID_ROW(MF_PD_MIME_TYPE)
    VCAM_SDK_GUID_ROW(MF_PD_TOTAL_FILE_SIZE)
    VCAM_SDK_GUID_ROW(MF_PD_VIDEO_ENCODING_BITRATE)
    // 134-135
    VCAM_GUID_ROW(MF_MT_MPEG4_CURRENT_SAMPLE_ENTRY)
    VCAM_GUID_ROW(MF_MT_MPEG4_SAMPLE_DESCRIPTION)
    // 136-389
    VCAM_CODECAPI_GUIDS(VCAM_CODECAPI_ROW)
    // 390-390
    VCAM_GUID_ROW(MF_SOURCE_STREAM_SUPPORTS_HW_CONNECTION)
    // 391-394
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_STREAM_ID)
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_EXTENSION_PLUGIN_CLSID)
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_EXTENSION_PLUGIN_CONNECTION_POINT)
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_STREAM_CATEGORY)
    // 395-422
    VCAM_GUID_ROW(MF_TOPONODE_CONNECT_METHOD)
    VCAM_GUID_ROW(MF_TOPONODE_DECODER)
    VCAM_GUID_ROW(MF_TOPONODE_DECRYPTOR)
    VCAM_GUID_ROW(MF_TOPONODE_DISCARDABLE)
    VCAM_GUID_ROW(MF_TOPONODE_ERROR_MAJORTYPE)
    VCAM_GUID_ROW(MF_TOPONODE_ERROR_SUBTYPE)
    VCAM_GUID_ROW(MF_TOPONODE_ERRORCODE)
    VCAM_GUID_ROW(MF_TOPONODE_LOCKED)
    VCAM_GUID_ROW(MF_TOPONODE_MARKIN_HERE)
    VCAM_GUID_ROW(MF_TOPONODE_MARKOUT_HERE)
    VCAM_GUID_ROW(MF_TOPONODE_MEDIASTART)
    VCAM_GUID_ROW(MF_TOPONODE_MEDIASTOP)
    VCAM_GUID_ROW(MF_TOPONODE_PRESENTATION_DESCRIPTOR)
    VCAM_GUID_ROW(MF_TOPONODE_SEQUENCE_ELEMENTID)
    VCAM_GUID_ROW(MF_TOPONODE_SOURCE)
    VCAM_GUID_ROW(MF_TOPONODE_STREAM_DESCRIPTOR)
    VCAM_GUID_ROW(MF_TOPONODE_WORKQUEUE_ID)
    VCAM_GUID_ROW(MF_TOPONODE_WORKQUEUE_MMCSS_CLASS)
    VCAM_GUID_ROW(MF_TOPONODE_WORKQUEUE_MMCSS_TASKID)
    VCAM_GUID_ROW(MF_TOPONODE_D3DAWARE)
    VCAM_GUID_ROW(MF_TOPONODE_DRAIN)
    VCAM_SDK_GUID_ROW(MF_TOPONODE_FLUSH)
    VCAM_GUID_ROW(MF_TOPONODE_TRANSFORM_OBJECTID)
    VCAM_GUID_ROW(MF_TOPONODE_DISABLE_PREROLL)
    VCAM_GUID_ROW(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE)
    VCAM_GUID_ROW(MF_TOPONODE_RATELESS)
    VCAM_GUID_ROW(MF_TOPONODE_STREAMID)
    VCAM_GUID_ROW(MF_TOPONODE_PRIMARYOUTPUT)
    // 423-425
    VCAM_GUID_ROW(MF_MT_AM_FORMAT_TYPE)
    VCAM_GUID_ROW(MF_MT_USER_DATA)
    VCAM_GUID_ROW(MF_MT_CUSTOM_VIDEO_PRIMARIES)
    // 426-426
    VCAM_SDK_GUID_ROW(MF_SD_SAMI_LANGUAGE)
    // 427-429
    VCAM_SDK_GUID_ROW(MF_PD_APP_CONTEXT)
    VCAM_SDK_GUID_ROW(MF_PD_PMPHOST_CONTEXT)
    VCAM_SDK_GUID_ROW(MF_PD_SAMI_STYLELIST)
    // 430-441
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_HW_SOURCE)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_MEDIA_TYPE)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_CATEGORY)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_SYMBOLIC_LINK)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_MAX_BUFFERS)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ROLE)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID)
    VCAM_GUID_ROW(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)
    // 442-443
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_IMAGE_STREAM)
    VCAM_SDK_GUID_ROW(MF_DEVICESTREAM_INDEPENDENT_IMAGE_STREAM)
    // 444-444
    VCAM_SDK_GUID_ROW(MFSampleExtension_DeviceTimestamp)
    // 445-453
    VCAM_KSNODETYPE_GUIDS(VCAM_KSNODETYPE_ROW)
};

const size_t gnGuidNameTableRows = sizeof(gGuidNameTable) / sizeof(gGuidNameTable[0]);
// clang-format on
