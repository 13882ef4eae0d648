/* The C entry points that mirodelCMSLib exports, and the pixel record of its conversion functions.
 * Everything else in the library is hidden. The filter binds only GetCMSDllVersion and
 * GDIPrintCMSmain (through the pointer types of cms_records.h); the Printer Application also binds
 * GDIPrintCMSmainWithMessages when the library has it, to keep the messages in each job's log.
 */
#ifndef KELVRA_CMSLIB_CMS_API_H
#define KELVRA_CMSLIB_CMS_API_H

#include "cmslib/cms_records.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CMS_EXPORT __attribute__((visibility("default")))

/* Pixel record of the conversion functions: channel 0 carries the grey or ink value; RGBtoMONO
 * reads channels 0, 1 and 2 as red, green and blue. */
typedef struct CurrS32 {
    uint64_t ch[4];
} CurrS32;

CMS_EXPORT int32_t GetCMSDllVersion(void);
CMS_EXPORT int GDIPrintCMSmain(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings,
                               CMS_TRANSFER_DST *pDst);
CMS_EXPORT int GDIPrintCMSmainWithMessages(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings,
                                           CMS_TRANSFER_DST *pDst, CMS_MESSAGE_FN messages,
                                           void *context);

CMS_EXPORT uint64_t MONOtoMONO(CurrS32 *pixel, CurrS32 *unused);
CMS_EXPORT uint64_t RGBtoMONO(CurrS32 *pixel);
CMS_EXPORT int BrightnessLevelLut(float gamma);
CMS_EXPORT int ContrastLevelLut(float contrast);

/* Pointer types for binding the conversion functions by name. */
typedef uint64_t (*PFN_MONOtoMONO)(CurrS32 *pixel, CurrS32 *unused);
typedef uint64_t (*PFN_RGBtoMONO)(CurrS32 *pixel);
typedef int (*PFN_BrightnessLevelLut)(float gamma);
typedef int (*PFN_ContrastLevelLut)(float contrast);

#ifdef __cplusplus
}
#endif

#endif /* KELVRA_CMSLIB_CMS_API_H */
