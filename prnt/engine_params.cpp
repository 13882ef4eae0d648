// Engine parameter blocks: fixed per printer family, not derived from the job.
#include "prnt/frames.h"

#include "common/checksum.h"
#include "prnt/byte_order.h"

#include <cstring>

namespace {
// R18 engine values, bytes 3-34 of the frame.
const uint8_t kR18Params[32] = {
    0,  30, 36, 38, 47, 80, 6,  32, 32, 32, 40, 44, // paramVer .. mediaSpel
    32, 32, 32, 32, 32, 32, 32,                     // cartridgeCnt_1..7
    32, 32, 32,                                     // printSpeed_1..3
    32, 32, 32, 32,                                 // coverRate_1..4
    32, 32,                                         // wasteToner_1..2
    32, 32, 10, 0,                                  // idle, highDpi, allowMaxCnt, reser
};

// V20-V22 engine values, bytes 3-38 of the frame.
const uint8_t kV72Params[36] = {
    0,  23, 38, 0,  48, 64, 32, 23, 32, 32, 0, 0, // paramVer .. reserved duplex/media
    32, 32, 32, 32, 32, 32, 32,                   // cartridgeCnt_1..7
    32, 32, 32,                                   // printSpeed_1..3
    32, 32, 32, 32,                               // coverRate_1..4
    32, 32,                                       // wasteToner_1..2
    32, 8,  10,                                   // idle, highDpi, allowMaxCnt
    0,  0,  0,  0,  0,                            // reser
};

// Platform M engine values: 36 big-endian 16-bit fields after the block header.
const uint16_t kPlatformMParams[36] = {
    0,   81,  115, 110, 150, 122, 100, 150, 200, // paramVer .. lowSpeedPageSzie3
    100, 81,  100, 100, 100,                     // warmUp .. duplex
    100, 100, 100, 100, 100, 100, 100,           // cartridgeCnt_1..7
    100, 100, 100,                               // printSpeed_1..3
    120, 135, 150, 180, 200,                     // highSpeedCoverRate_1..5
    120, 150, 190, 350, 400,                     // lowSpeedCoverRate_1..5
    100, 100,                                    // idle, dpi1200
};
} // namespace

int GetTonerParamCmdForR18(const GDI_START_DOC_PARAM *, GDI_TONER_PARAM_R74 *pGdiTonerParam) {
    if (pGdiTonerParam == nullptr) return 0;
    uint8_t *p = pGdiTonerParam->bytes;
    p[0] = 0x0B;
    p[1] = 36;
    p[2] = 0x1E;
    std::memcpy(p + 3, kR18Params, sizeof kR18Params);
    p[35] = CalcChecksum(p, 35);
    return 1;
}

int GetTonerParamCmdForV72(const GDI_START_DOC_PARAM *, GDI_TONER_PARAM_V72 *pGdiTonerParam) {
    if (pGdiTonerParam == nullptr) return 0;
    uint8_t *p = pGdiTonerParam->bytes;
    p[0] = 0x0B;
    p[1] = 40;
    p[2] = 0x1E;
    std::memcpy(p + 3, kV72Params, sizeof kV72Params);
    p[39] = CalcChecksum(p, 39);
    return 1;
}

int GetTonerParamCmdForPlatformM(GDI_TONER_PARAM_PLATFORM_M *pGdiTonerParam, uint32_t cmdLen,
                                 uint32_t cmdType, uint32_t cmdParamNumber,
                                 uint16_t cmdParamNumberLen, uint16_t cmdSignature) {
    if (pGdiTonerParam == nullptr) return 0;
    uint8_t *p = pGdiTonerParam->bytes;
    PutCmdHeader(p, cmdLen, cmdType, cmdParamNumber, cmdParamNumberLen, cmdSignature);
    for (int i = 0; i < 36; ++i)
        PutBE16(p + 16 + 2 * i, kPlatformMParams[i]);
    return 1;
}
