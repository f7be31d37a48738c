#include "hvdv/identify.h"

#include <cstring>

namespace hvdv {

namespace {

hvdv_kind PublicKind(int kind) {
    switch (kind) {
        case kKind525_411: return HVDV_KIND_DV25_525_411;
        case kKind625_420: return HVDV_KIND_DV25_625_420;
        case kKind625_411: return HVDV_KIND_DV25_625_411;
        case kKind525_422: return HVDV_KIND_DV50_525;
        case kKind625_422: return HVDV_KIND_DV50_625;
        case kKind1080_60: return HVDV_KIND_HD_1080I60;
        case kKind1080_50: return HVDV_KIND_HD_1080I50;
        case kKind720_60: return HVDV_KIND_HD_720P60;
        case kKind720_50: return HVDV_KIND_HD_720P50;
    }
    return HVDV_KIND_UNKNOWN;
}

}  // namespace

int ProbeResult(DVProbeFailure failure) {
    switch (failure) {
        case DVProbeFailure::kTruncated: return HVDV_ERROR_TRUNCATED;
        case DVProbeFailure::kAmbiguous: return HVDV_ERROR_AMBIGUOUS;
        case DVProbeFailure::kUnsupported: return HVDV_ERROR_UNSUPPORTED;
        case DVProbeFailure::kNotDv:
        case DVProbeFailure::kNone: break;
    }
    return HVDV_ERROR_NOT_DV;
}

void DescribeFrame(const DVProbe& probe, hvdv_frame_info* info) {
    const DVProfile& p = *probe.profile;
    hvdv_frame_info f{};
    f.kind = PublicKind(p.kind);
    f.lines = p.is525 ? 525 : 625;
    const uint32_t sequences = (uint32_t)(p.channels * p.sequences);
    f.frame_bytes = probe.headerBlocks ? p.frameBytes : sequences * kSequenceBytesNoHeader;
    f.header_blocks = probe.headerBlocks;
    f.chroma = p.chroma == DVChroma::k411 ? HVDV_CHROMA_411
               : p.chroma == DVChroma::k420 ? HVDV_CHROMA_420
                                            : HVDV_CHROMA_422;
    f.coded_width = (uint32_t)p.codedWidth;
    f.coded_height = (uint32_t)p.codedHeight;
    f.display_width = (uint32_t)p.displayWidth;
    f.chroma_width = (uint32_t)(p.chroma == DVChroma::k411 ? p.codedWidth / 4 : p.codedWidth / 2);
    f.chroma_height = (uint32_t)(p.chroma == DVChroma::k420 ? p.codedHeight / 2 : p.codedHeight);
    f.rate_num = (uint32_t)p.rateNumerator;
    f.rate_den = (uint32_t)p.rateDenominator;
    f.interlaced = p.codedHeight != 720;
    f.wide = probe.wide;
    f.sources = probe.sources;
    f.conflicts = probe.conflicts;
    f.vaux_copies = (uint32_t)probe.vauxCopies;
    f.vaux_agreeing = (uint32_t)probe.vauxAgreeing;
    const uint32_t size = info->size;
    std::memcpy(info, &f, size < sizeof f ? size : sizeof f);
    info->size = size;
}

}  // namespace hvdv
