// Filling the three records handed to the colour library for one page.
#pragma once

#include "cmslib/cms_records.h"
#include "common/job_settings.h"
#include "prnt/prnt_params.h"

// Source record: the page's 8-bit grey buffer with the print area of the page start.
void GetCMSinput(CMS_TRANSFER_SRC *srcData, unsigned char *pImgraw,
                 const GDI_START_PAGE_PARAM &startpage);

// Settings record: paper code, resolution curve, output depth, toner save and density, from
// the job's settings and the page's options.
void GetCMSSettings(CMS_SETTINGS *settings, const JobSettings &job, const PrintOptions *prntinfo,
                    const GDI_START_PAGE_PARAM &startPageParam);

// Destination record: the caller's bitmap buffer of `psize` bytes and the source's area.
void GetCMSoutput(CMS_TRANSFER_DST *dstData, const JobSettings &job, unsigned char *pImg,
                  const CMS_TRANSFER_SRC *srcData, int psize);
