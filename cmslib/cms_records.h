/* Records and entry points shared between the filter and the colour library mirodelCMSLib.
 *
 * The three records are byte-packed (no padding, host byte order) and are passed by pointer across
 * the library boundary. This header is plain C so that either side may be built in C or C++; it
 * declares no functions, only the record layouts and the pointer types the filter binds with dlsym.
 */
#ifndef KELVRA_CMSLIB_CMS_RECORDS_H
#define KELVRA_CMSLIB_CMS_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* The source page: 8-bit grey samples, 0 black to 255 white. */
typedef struct CMS_TRANSFER_SRC {
    int32_t iStructVersion;     /* 0 from the caller; the library stamps 0x1001 */
    int32_t cbStructSize;       /* 36 */
    uint8_t *ColorSrcData;      /* grey samples, one byte per pixel */
    int32_t cbSize;             /* size of the sample data in bytes */
    uint16_t InputDataX;        /* area position on the page (screen phase), at most 40819 */
    uint16_t InputDataY;        /* at most 40819 */
    uint16_t InputDataWidth;    /* pixels per line, non-zero multiple of 8 */
    uint16_t InputDataHeight;   /* lines, non-zero */
    uint32_t InputDataLineByte; /* bytes from one source line to the next, non-zero */
    uint8_t Reserved[4];
} CMS_TRANSFER_SRC;

/* The page settings. */
typedef struct CMS_SETTINGS {
    int32_t iStructVersion;
    int32_t cbStructSize; /* 18 */
    uint16_t PaperSize;
    uint8_t DpiMode;           /* 1: 1200-dpi linearisation, otherwise 600 dpi */
    uint8_t BitMode;           /* 0: 1 bit per pixel, 1: 2 bits, 2: 4 bits, 3: 8 bits */
    uint8_t TonerSaveMode;     /* 1 forces the lightest density curve */
    uint8_t TonerDensityLevel; /* density curve 1-5, anything else curve 3 */
    uint8_t Reserved[4];
} CMS_SETTINGS;

/* The destination bitmap and the output fields the library fills. */
typedef struct CMS_TRANSFER_DST {
    int32_t iStructVersion;
    int32_t cbStructSize;  /* set to 35 by the library */
    uint8_t *ColorDstData; /* caller's bitmap buffer */
    int32_t cbSize;        /* in: capacity; out on -9/-10: bytes needed */
    uint16_t OutputDataX;  /* copies of the source area */
    uint16_t OutputDataY;
    uint16_t OutputDataWidth;
    uint16_t OutputDataHeight;
    uint16_t OutputDataLineByte; /* bytes per output line */
    uint8_t OutputBitMode;       /* copy of BitMode */
    uint8_t Reserved[4];
} CMS_TRANSFER_DST;

#pragma pack(pop)

/* The version stamp written into CMS_TRANSFER_SRC.iStructVersion and the library version. */
#define CMS_STRUCT_VERSION 0x1001
#define CMS_DLL_VERSION 0x01000002

/* Results of GDIPrintCMSmain. */
#define CMS_OK 0
#define CMS_ERR_LINEBYTE (-1)
#define CMS_ERR_WIDTH (-3)
#define CMS_ERR_HEIGHT (-4)
#define CMS_ERR_POSITION (-5)
#define CMS_ERR_SIZE (-9)
#define CMS_ERR_NULL (-10)

/* Entry points bound by name: "GetCMSDllVersion" and "GDIPrintCMSmain". */
typedef int32_t (*PFN_GetCMSDllVersion)(void);
typedef int (*PFN_GDIPrintCMSmain)(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings,
                                   CMS_TRANSFER_DST *pDst);

/* Receives the library's messages, each as GDIPrintCMSmain writes it to standard error (one or
 * more whole lines with their line ends), with the caller's context. */
typedef void (*CMS_MESSAGE_FN)(void *context, const char *text);

/* Optional entry point "GDIPrintCMSmainWithMessages": GDIPrintCMSmain with its messages handed to
 * `messages` (with `context`) instead of standard error; a null `messages` drops them. A caller
 * that binds it must treat its absence as an older library and call GDIPrintCMSmain. */
typedef int (*PFN_GDIPrintCMSmainWithMessages)(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings,
                                               CMS_TRANSFER_DST *pDst, CMS_MESSAGE_FN messages,
                                               void *context);

#ifdef __cplusplus
}
#define CMS_RECORDS_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define CMS_RECORDS_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* The layouts are fixed: every size and offset is checked at compile time. */
CMS_RECORDS_STATIC_ASSERT(sizeof(void *) == 8, "the records carry 64-bit pointers");
CMS_RECORDS_STATIC_ASSERT(sizeof(CMS_TRANSFER_SRC) == 36, "CMS_TRANSFER_SRC is 36 bytes");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, iStructVersion) == 0, "src iStructVersion");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, cbStructSize) == 4, "src cbStructSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, ColorSrcData) == 8, "src ColorSrcData");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, cbSize) == 16, "src cbSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, InputDataX) == 20, "src InputDataX");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, InputDataY) == 22, "src InputDataY");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, InputDataWidth) == 24, "src InputDataWidth");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, InputDataHeight) == 26, "src InputDataHeight");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, InputDataLineByte) == 28,
                          "src InputDataLineByte");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_SRC, Reserved) == 32, "src Reserved");

CMS_RECORDS_STATIC_ASSERT(sizeof(CMS_SETTINGS) == 18, "CMS_SETTINGS is 18 bytes");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, iStructVersion) == 0, "set iStructVersion");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, cbStructSize) == 4, "set cbStructSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, PaperSize) == 8, "set PaperSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, DpiMode) == 10, "set DpiMode");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, BitMode) == 11, "set BitMode");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, TonerSaveMode) == 12, "set TonerSaveMode");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, TonerDensityLevel) == 13, "set TonerDensityLevel");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_SETTINGS, Reserved) == 14, "set Reserved");

CMS_RECORDS_STATIC_ASSERT(sizeof(CMS_TRANSFER_DST) == 35, "CMS_TRANSFER_DST is 35 bytes");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, iStructVersion) == 0, "dst iStructVersion");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, cbStructSize) == 4, "dst cbStructSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, ColorDstData) == 8, "dst ColorDstData");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, cbSize) == 16, "dst cbSize");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputDataX) == 20, "dst OutputDataX");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputDataY) == 22, "dst OutputDataY");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputDataWidth) == 24, "dst OutputDataWidth");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputDataHeight) == 26,
                          "dst OutputDataHeight");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputDataLineByte) == 28,
                          "dst OutputDataLineByte");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, OutputBitMode) == 30, "dst OutputBitMode");
CMS_RECORDS_STATIC_ASSERT(offsetof(CMS_TRANSFER_DST, Reserved) == 31, "dst Reserved");

#endif /* KELVRA_CMSLIB_CMS_RECORDS_H */
