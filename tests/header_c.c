/* The public header on its own, as C. */
#include "hv_dec_dv.h"

int hvdv_header_c_check(void);
int hvdv_header_c_check(void) {
    DVStreamInfo info;
    DVStreamInfoEx ex;
    typedef char stream_info_is_18_fields[sizeof(info) == 18 * 4 ? 1 : -1];
    typedef char audio_info_is_10_fields[sizeof(DVAudioInfo) == 10 * 4 ? 1 : -1];
    typedef char stream_info_ex_is_18_fields[sizeof(ex) == 18 * 4 ? 1 : -1];
    typedef char audio_info_ex_is_11_fields[sizeof(DVAudioInfoEx) == 11 * 4 ? 1 : -1];
    DVDecQueryFn q = DVDecGetAPIExt(HVDV_API_EXT_QUERY);
    (void)sizeof(stream_info_is_18_fields);
    (void)sizeof(audio_info_is_10_fields);
    (void)sizeof(stream_info_ex_is_18_fields);
    (void)sizeof(audio_info_ex_is_11_fields);
    return q != 0 && HVDV_FOURCC('Y', 'U', 'Y', '2') == HVDV_FOURCC_YUY2;
}

/* The second interface's header, as C99. */
#include "hvdv.h"

int hvdv_header_c_check2(void);
int hvdv_header_c_check2(void) {
    hvdv_frame_info info;
    hvdv_macroblock mb;
    info.size = sizeof info;
    typedef char macroblock_is_8_bytes[sizeof(mb) == 8 ? 1 : -1];
    (void)sizeof(macroblock_is_8_bytes);
    return hvdv_probe_frame(0, 0, &info) == HVDV_ERROR_ARGUMENT && HVDV_FORMAT_PLANAR == 0;
}
