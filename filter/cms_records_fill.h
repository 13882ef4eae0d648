// Filling the three records handed to the colour library for one page.
#pragma once

#include <cups/raster.h>

#include "cmslib/cms_records.h"
#include "filter/options.h"
#include "prnt/prnt_params.h"

// Source record: the page's 8-bit grey buffer with the print area of the page start.
void GetCMSinput(CMS_TRANSFER_SRC *srcData, const cups_page_header2_t *header,
                 unsigned char *pImgraw, GDI_START_PAGE_PARAM startpage);

// Settings record: paper code, resolution curve, output depth, toner save and density.
void GetCMSSettings(CMS_SETTINGS *settings, const PRINT_FUNC_INFO *prntinfo,
                    cups_page_header2_t header, GDI_START_PAGE_PARAM startPageParam);

// Destination record: the caller's bitmap buffer of `psize` bytes and the source's area.
void GetCMSoutput(CMS_TRANSFER_DST *dstData, unsigned char *pImg, const CMS_TRANSFER_SRC *srcData,
                  int psize);
