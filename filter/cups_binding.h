// Run-time binding of the CUPS libraries and of the colour library. The CUPS entry points
// are taken from the system libraries at fixed paths when they open, else from the CUPS
// functions the filter is linked against; the colour library is optional.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <cups/sidechannel.h>

struct CMS_TRANSFER_SRC;
struct CMS_SETTINGS;
struct CMS_TRANSFER_DST;

using PFppdClose = void (*)(ppd_file_t *);
using PFppdOpenFile = ppd_file_t *(*)(const char *);
using PFppdLocalizeIPPReason = const char *(*)(ppd_file_t *, const char *, const char *, char *,
                                                size_t);
using PFcupsGetOption = const char *(*)(const char *, int, cups_option_t *);
using PFcupsParseOptions = int (*)(const char *, int, cups_option_t **);
using PFcupsSideChannelDoRequest = cups_sc_status_t (*)(cups_sc_command_t, char *, int *,
                                                        double);
using PFcupsTempFd = int (*)(char *, int);
using PFppdFindOption = ppd_option_t *(*)(ppd_file_t *, const char *);
using PFcupsFreeOptions = void (*)(int, cups_option_t *);
using PFcupsRasterReadPixels = unsigned (*)(cups_raster_t *, unsigned char *, unsigned);
using PFcupsRasterClose = void (*)(cups_raster_t *);
using PFcupsRasterReadHeader2 = unsigned (*)(cups_raster_t *, cups_page_header2_t *);
using PFcupsRasterOpen = cups_raster_t *(*)(int, cups_mode_t);
using PFGetCMSDllVersion = int (*)();
using PFGDIPrintCMSmain = int (*)(CMS_TRANSFER_SRC *, CMS_SETTINGS *, CMS_TRANSFER_DST *);

extern void *m_hCUPS;
extern void *m_hCUPSImage;
extern void *m_hCMS;
extern bool IsUseCMSLib;

extern PFppdClose pfppdClose;
extern PFppdOpenFile pfppdOpenFile;
extern PFppdLocalizeIPPReason pfppdLocalizeIPPReason;
extern PFcupsGetOption pfcupsGetOption;
extern PFcupsParseOptions pfcupsParseOptions;
extern PFcupsSideChannelDoRequest pfcupsSideChannelDoRequest;
extern PFcupsTempFd pfcupsTempFd;
extern PFppdFindOption pfppdFindOption;
extern PFcupsFreeOptions pfcupsFreeOptions;
extern PFcupsRasterReadPixels pfcupsRasterReadPixels;
extern PFcupsRasterClose pfcupsRasterClose;
extern PFcupsRasterReadHeader2 pfcupsRasterReadHeader2;
extern PFcupsRasterOpen pfcupsRasterOpen;
extern PFGetCMSDllVersion pGetCMSDllVersion;
extern PFGDIPrintCMSmain pGDIPrintCMSmain;

// Installed path of the colour library; KELVRA_CMS_LIBRARY in the environment overrides it
// (tests load the freshly built library this way; an empty value disables the library).
const char *CMSLibraryPath();

int InitCUPSDLL();
int InitCUPSIMAGEDLL();
int InitCMSDLL();
// Unloads the CUPS library, the imaging library and the colour library, in that order.
void UnloadDLLs();
