// The records the job loop fills and hands to the printer operations: job start, page
// start, page data, page end and job end.
#pragma once

#include <cstdint>

// Job-start record (Prnt_StartDoc).
struct GDI_START_DOC_PARAM {
    int jobID;            // job id; platform C sends its low byte, platform Z all 4 bytes
    char jobName[32];     // job title (no command carries it)
    int watermarkEnable;  // non-zero sets bit 7 of the job flags byte
    uint8_t DuplexMode;   // ORed into the job flags byte (0x20 printer duplex)
    uint8_t FineMode;     // value of the fine-mode frame
    uint8_t saveMode;     // ORed into the job flags byte (0x10 on platforms C and Z)
    int bookletEnable;    // non-zero sets bit 3
    int posterEnable;     // non-zero sets bit 2
    int nupEnable;        // non-zero sets bit 1
    int overlapEnable;    // non-zero sets bit 0
    int tonerSaveEnable;  // low byte is the value of the toner-save frame
    uint8_t densityLevel; // value of the density frame
};

// Page-start record (Prnt_StartPage).
struct GDI_START_PAGE_PARAM {
    uint16_t paperSize;   // printer paper code (custom: 255 on platform C, 0 on Z and M)
    uint16_t mediaType;   // media type code
    uint16_t resolutionX; // dpi, divided by 10 on platforms C and Z
    uint16_t resolutionY; // as resolutionX
    uint16_t tray;        // input tray code
    uint16_t colorMode;   // colour mode (0)
    uint16_t feedEdge;    // 0x40 for long-edge feed
    uint16_t marginUnit;  // margin unit (0)
    uint16_t copies;      // copies the printer makes of this page
    uint16_t marginX;     // margins of the catalogue row
    uint16_t marginY;
    uint16_t pageNum;    // page number
    uint16_t userPhyPgW; // physical page size in dots
    uint16_t userPhyPgH;
    uint16_t userPrntAreaW; // printable image size in dots
    uint16_t userPrntAreaH;
    uint32_t iIs2bit;     // 1 when the page is sent with 2 bits per pixel
    uint8_t densityLevel; // density level of the job
};

// Page-data record (Prnt_SendPage).
struct GDI_SEND_PAGE_PARAM {
    uint8_t colorPlane;  // plane number of the raster image frame
    uint8_t colorDepth;  // depth flag ORed into the raster image frame
    uint8_t dataPacking; // packing flag ORed into the same byte
    uint8_t compression; // compression flag (0x20, JBIG)
    uint16_t whlImgW;    // pixels per line of the page bitmap as reported
    uint16_t whlImgH;    // lines of the page bitmap
    uint16_t rasImgW;    // platform C: page width before 2-bit doubling; else 0
    uint64_t rasImgH;    // platform C: JBIG stripe height (768 or 384); else 0
    int32_t cmpImgBytes; // written by Prnt_SendPage: compressed size (0 on platform Z)
    uint8_t *sendImgBuf; // the page bitmap
};

// Page-end record (Prnt_EndPage).
struct GDI_END_PAGE_PARAM {
    int page;        // number of the page just sent (1-based)
    int bMachDup;    // 1 for automatic (machine) duplex
    int resolutionE; // horizontal resolution in dpi
    int paperWidthE; // paper width in whole millimetres
    int densityE;    // toner density level of the job
    int dotCnt;      // output: the dot count the platform C coverage frame carried
};

// Job-end record (Prnt_EndDoc).
struct GDI_END_DOC_PARAM {
    int page;     // number of pages of the job
    int bMachDup; // 1 for automatic (machine) duplex
};
