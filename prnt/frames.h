// Frames of the three command dialects and their builders.
//
// Platforms C and Z use the short command frame: 0x0B, the total length, the command
// code, a little-endian payload and a checksum that makes all bytes add up to 0 modulo
// 256. Platform M uses blocks of a 16-byte big-endian header ("ZZ" signature) followed by
// 12-byte parameter records or a fixed payload. Each record below holds the frame as the
// bytes that go on the wire, in order; the builders fill every byte including the
// checksum and return 1 (0 only for a missing record).
#pragma once

#include "prnt/prnt_params.h"

#include <cstdint>
#include <ctime>

struct GDI_JOB_SPEC_C {
    uint8_t bytes[6];
}; // 0x11, platform C
struct GDI_JOB_SPEC_Z {
    uint8_t bytes[9];
}; // 0x11, platform Z
struct GDI_TONER_SAVE {
    uint8_t bytes[5];
}; // 0x19, platform C
struct GDI_DENSITY_PARAM {
    uint8_t bytes[5];
}; // 0x15
struct GDI_FINEMODE {
    uint8_t bytes[5];
}; // 0x1F, platform Z
struct GDI_SYSTEM_DATE {
    uint8_t bytes[8];
}; // 0x1F, platform C
struct GDI_PAGE_SPEC {
    uint8_t bytes[18];
}; // 0x12
struct GDI_CUSTOM_PAPER {
    uint8_t bytes[12];
}; // 0x13
struct GDI_RASTER_IMAGE {
    uint8_t bytes[18];
}; // 0x0C
struct GDI_IMAGE_DATA_CHECKSUM {
    uint8_t bytes[6];
}; // 0x1A, platform C
struct GDI_COVERAGE_C {
    uint8_t bytes[6];
}; // 0x1E, platform C
struct GDI_COVERAGE_Z {
    uint8_t bytes[7];
}; // 0x19, platform Z
struct GDI_TONER_PARAM_R74 {
    uint8_t bytes[36];
}; // 0x1E, "Kelvra R18 Series"
struct GDI_TONER_PARAM_V72 {
    uint8_t bytes[40];
}; // 0x1E, "Kelvra V20-V22 Series"
struct GDI_JOB_SPEC_M {
    uint8_t bytes[16];
}; // platform M block header
struct GDI_SET_PARAM {
    uint8_t bytes[12];
}; // platform M parameter record
struct GDI_TONER_PARAM_PLATFORM_M {
    uint8_t bytes[88];
}; // platform M engine block

// Platform M block types.
enum : uint32_t {
    START_DOC_CMD = 0,
    END_DOC_CMD = 1,
    START_PAGE_CMD = 2,
    END_PAGE_CMD = 3,
    JBIG_PARAM_CMD = 4,
    JBIG_DATA_CMD = 5,
    JBIG_END_CMD = 6,
    MANUAL_DUPLEX_CMD = 11,
    TONER_PARAM = 17,
};
constexpr uint16_t kCmdSignature = 0x5A5A; // "ZZ"

// Platform M parameter ids.
enum : uint16_t {
    PAPER_SIZE_PARAM = 3,
    COPIES_PARAM = 4,
    INPUT_TRAY_PARAM = 5,
    MEDIA_TYPE_PARAM = 6,
    CHANNEL_NUM_PARAM = 7,
    H_RESOLUTION_PARAM = 8,
    V_RESOLUTION_PARAM = 9,
    IMG_WIDTH_PARAM = 12,
    IMG_HEIGHT_PARAM = 13,
    VIDEO_DEPTH_PARAM = 16,
    VIDEO_WIDTH_PARAM = 17,
    VIDEO_HEIGHT_PARAM = 18,
    RET_PARAM = 22,
    CUSTOM_WIDTH_PARAM = 24,
    CUSTOM_HEIGHT_PARAM = 25,
    CUSTOM_PAPER_UNIT_PARAM = 26,
    DENSITY_PARAM = 0xFF00,
};

// The job flags byte of both job-specification frames.
uint8_t JobFlagsByte(const GDI_START_DOC_PARAM *pStartDocParam);

int GetJobSpecCmd_C(const GDI_START_DOC_PARAM *pStartDocParam, GDI_JOB_SPEC_C *pFrame);
int GetJobSpecCmd_Z(const GDI_START_DOC_PARAM *pStartDocParam, GDI_JOB_SPEC_Z *pFrame);
int GetTonerSaveCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_TONER_SAVE *pFrame);
int GetDensityCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_DENSITY_PARAM *pFrame);
int GetFineModeCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_FINEMODE *pFrame);
// System date frame from the local date of `when` (0: now).
int GetSysTimeCmd(GDI_SYSTEM_DATE *pFrame, std::time_t when = 0);
// System date frame from a given broken-down time.
int FillSysTimeCmd(const std::tm &when, GDI_SYSTEM_DATE *pFrame);
// `trayOne`: the page is the first side of a manual-duplex sheet of a QV model, fed from tray 1.
int GetPageSpecCmd(const GDI_START_PAGE_PARAM *pStartPageParam, GDI_PAGE_SPEC *pFrame, int platform,
                   bool trayOne = false);
int GetCustomPaperCmd(const GDI_START_PAGE_PARAM *pStartPageParam, GDI_CUSTOM_PAPER *pFrame,
                      int platform);
int GetRasterImageCmd(const GDI_SEND_PAGE_PARAM *pSendPageParam, GDI_RASTER_IMAGE *pFrame);
// Image data checksum frame from the checksum of the page's last coded image.
int GetImageDataChenksumCmd(GDI_IMAGE_DATA_CHECKSUM *pFrame, uint64_t imageChecksum);
// Coverage frame of platform C from the page's dot count; also stores the count in dotCnt.
int GetCoverageCmd_C(GDI_END_PAGE_PARAM *pEndPageParam, GDI_COVERAGE_C *pFrame,
                     uint64_t imageCoverage);
// Coverage frame of platform Z from the page's dot count; a non-zero page (inserted blank
// page) gives 01 00 00.
int GetCoverageCmd_Z(GDI_COVERAGE_Z *pFrame, int page, uint64_t imageCoverage);

// Engine parameter blocks (fixed per printer family).
int GetTonerParamCmdForR18(const GDI_START_DOC_PARAM *pStartDocParam,
                           GDI_TONER_PARAM_R74 *pGdiTonerParam);
int GetTonerParamCmdForV72(const GDI_START_DOC_PARAM *pStartDocParam,
                           GDI_TONER_PARAM_V72 *pGdiTonerParam);
int GetTonerParamCmdForPlatformM(GDI_TONER_PARAM_PLATFORM_M *pGdiTonerParam, uint32_t cmdLen,
                                 uint32_t cmdType, uint32_t cmdParamNumber,
                                 uint16_t cmdParamNumberLen, uint16_t cmdSignature);

// Writes a platform M block header into the 16 bytes at `p`.
void PutCmdHeader(uint8_t *p, uint32_t cmdLen, uint32_t cmdType, uint32_t cmdParamNumber,
                  uint16_t cmdParamNumberLen, uint16_t cmdSignature);
int SetCmdType(GDI_JOB_SPEC_M *pGdiPageSpec, uint32_t cmdLen, uint32_t cmdType,
               uint32_t cmdParamNumber, uint16_t cmdParamNumberLen, uint16_t cmdSignature);
int SetCmdParam(GDI_SET_PARAM *pGdiSetParam, uint16_t ParamCmd, uint8_t ParamType,
                uint32_t cmdParamValue);
