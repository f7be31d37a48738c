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
